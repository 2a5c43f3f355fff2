#include "cli/Commands.h"

namespace kelo::cli {

void addProjectCommand(CLI::App& /*app*/, int& /*exitCode*/) {}

}  // namespace kelo::cli
