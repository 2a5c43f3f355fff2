#include "cli/Commands.h"

namespace kelo::cli {

void addTextCommand(CLI::App& /*app*/, int& /*exitCode*/) {}

}  // namespace kelo::cli
