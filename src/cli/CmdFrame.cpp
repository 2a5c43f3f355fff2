#include "cli/Commands.h"

namespace kelo::cli {

void addFrameCommand(CLI::App& /*app*/, int& /*exitCode*/) {}

}  // namespace kelo::cli
