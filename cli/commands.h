// SPDX-License-Identifier: MIT
// The command line is assembled from one group of subcommands per area. Each add* function
// registers its subcommands on `app`; a subcommand's callback stores the process's exit status
// in `exitStatus` (0 success, 1 a NO answer, 2 bad input, 3 no current helper, 4 needs root).
#pragma once

#include <CLI/CLI.hpp>

namespace zel::cli {

// convert, units: the value conversion library.
void addConversionCommands(CLI::App& app, int& exitStatus);
// install, remove, status: the helper daemon's systemd service.
void addInstallCommands(CLI::App& app, int& exitStatus);

// consent-steps, hidden: the root side that pkexec starts for an ordinary user's install and
// remove. `argc` is main's: the command runs only when it stands alone.
void addConsentStepsCommand(CLI::App& app, int& exitStatus, int argc);

// version, create-file, create-dir, permit, oct-to-dec, set-privileges, groups: the helper's
// remote interface, through the helper proxy.
void addHelperCommands(CLI::App& app, int& exitStatus);

}  // namespace zel::cli
