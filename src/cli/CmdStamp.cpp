#include "cli/Commands.h"

namespace kelo::cli {

void addStampCommand(CLI::App& /*app*/, int& /*exitCode*/) {}

}  // namespace kelo::cli
