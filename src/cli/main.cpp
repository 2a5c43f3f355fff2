// kelo-cli: the command-line front end. It parses, calls the engine and prints; nothing more.
#include "cli/Commands.h"
#include "cli/Common.h"

int main(int argc, char** argv) {
  CLI::App app{"kelo-cli: burn the recording date and time of DV files into the picture"};
  app.set_version_flag("--version", kelo::cli::versionText("kelo-cli"), "print the version and exit");
  app.require_subcommand(1);
  int exitCode = kelo::cli::kExitOk;
  kelo::cli::addProjectCommand(app, exitCode);
  kelo::cli::addInfoCommand(app, exitCode);
  kelo::cli::addFrameCommand(app, exitCode);
  kelo::cli::addSampleCommand(app, exitCode);
  kelo::cli::addTextCommand(app, exitCode);
  kelo::cli::addStampCommand(app, exitCode);
  kelo::cli::addSubtitlesCommand(app, exitCode);
  kelo::cli::addVerifyCommand(app, exitCode);
  // After the subcommands, which would otherwise each repeat it.
  app.footer("Exit status: 0 success, 1 some file not handled, 2 bad usage (nothing done).");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end parsing with status 0; every real parse error is bad usage.
    return app.exit(e) == 0 ? kelo::cli::kExitOk : kelo::cli::kExitUsage;
  }
  return exitCode;
}
