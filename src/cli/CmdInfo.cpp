#include "cli/Commands.h"

namespace kelo::cli {

void addInfoCommand(CLI::App& /*app*/, int& /*exitCode*/) {}

}  // namespace kelo::cli
