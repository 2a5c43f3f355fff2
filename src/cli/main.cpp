// kelo-cli: the command-line front end. It parses, calls the engine and prints; nothing more.
#include "cli/Commands.h"

#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"kelo-cli: burn the recording date and time of DV files into the picture"};
  app.require_subcommand(1);
  int exitCode = 0;
  kelo::cli::addProjectCommand(app, exitCode);
  kelo::cli::addInfoCommand(app, exitCode);
  kelo::cli::addFrameCommand(app, exitCode);
  kelo::cli::addSampleCommand(app, exitCode);
  kelo::cli::addTextCommand(app, exitCode);
  kelo::cli::addStampCommand(app, exitCode);
  kelo::cli::addVerifyCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  return exitCode;
}
