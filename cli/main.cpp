// SPDX-License-Identifier: MIT
// zelhelper: the command-line client of the helper and of the conversion library, and the helper
// daemon itself when systemd starts it with its socket.
#include <cstdio>

#include <fmt/core.h>
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "daemon/daemon_main.h"
#include "platform/exit_status.h"
#include "platform/socket_activation.h"
#include "protocol/zel_helper.h"
#include "resources/labels.h"

int main(int argc, char** argv) {
  // Only the service manager starts the daemon: it passes no arguments and hands over the
  // socket. Run by hand without arguments, the command prints its usage instead.
  if (argc == 1 && zel::socketsWerePassed())
    return zel::runDaemon();

  CLI::App app{
      "zelhelper: a privileged helper that provisions shared files and directories, and the "
      "value conversions of the client.",
      "zelhelper"};
  app.footer(fmt::format(
      "The helper daemon is this executable too: systemd starts it, without arguments, on the "
      "first connection to /run/{0}, through the units {1}.socket and {1}.service that the "
      "zelhelper package or 'zelhelper install' puts in place. See zelhelper(1) and "
      "zelhelper(8).",
      zel::kMachServiceName, zel::kHelperLabel));
  app.set_version_flag("--version",
                       fmt::format("zelhelper {} (helper interface version {})",
                                   zel::kPackageVersion, zel::ZelHelper::kInterfaceVersion),
                       "Print the package version and the helper interface version");
  app.require_subcommand(1, 1);
  int exitStatus = 0;
  zel::cli::addConversionCommands(app, exitStatus);
  zel::cli::addHelperCommands(app, exitStatus);
  zel::cli::addInstallCommands(app, exitStatus);
  zel::cli::addConsentStepsCommand(app, exitStatus, argc);

  if (argc == 1) {
    fmt::print(stderr, "{}", app.help());
    return zel::exit_status::kBadInput;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0)
      return app.exit(error);  // --help, --version
    fmt::print(stderr, "zelhelper: {} (see 'zelhelper --help')\n", error.what());
    return zel::exit_status::kBadInput;
  }
  return exitStatus;
}
