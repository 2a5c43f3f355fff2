#include "cli/Commands.h"

namespace kelo::cli {

void addVerifyCommand(CLI::App& /*app*/, int& /*exitCode*/) {}

}  // namespace kelo::cli
