#include "cli/Commands.h"

namespace kelo::cli {

void addSampleCommand(CLI::App& /*app*/, int& /*exitCode*/) {}

}  // namespace kelo::cli
