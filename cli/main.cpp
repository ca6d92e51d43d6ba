// zelhelper: with no arguments it is the helper daemon (started by socket activation);
// with a command it is the command-line client of the helper and of the conversion library.
#include <cstdio>

#include <fmt/core.h>
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "daemon/daemon_main.h"

int main(int argc, char** argv) {
  if (argc == 1)
    return zel::runDaemon();

  CLI::App app{
      "zelhelper: a privileged helper that provisions shared files and directories, and the "
      "value conversions of the client.\nRun with no arguments, it is the helper daemon, "
      "started by socket activation.",
      "zelhelper"};
  app.require_subcommand(1, 1);
  int exitStatus = 0;
  zel::cli::addConversionCommands(app, exitStatus);
  zel::cli::addHelperCommands(app, exitStatus);
  zel::cli::addInstallCommands(app, exitStatus);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0)
      return app.exit(error);  // --help
    fmt::print(stderr, "zelhelper: {} (see 'zelhelper --help')\n", error.what());
    return 2;
  }
  return exitStatus;
}
