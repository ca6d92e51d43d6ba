// SPDX-License-Identifier: MIT
// install, remove, status: putting the helper daemon in place as a socket-activated systemd
// service, taking it away, and looking at it. For a helper the Debian package installed,
// install and remove only enable and disable the package's socket (platform/service_management.h
// decides who owns the units).

#include <cstdio>
#include <memory>
#include <string>

#include <fmt/core.h>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/held_log.h"
#include "client/helper_installation.h"
#include "client/helper_proxy.h"
#include "client/helper_rights.h"
#include "platform/exit_status.h"
#include "platform/service_management.h"
#include "platform/systemd_units.h"
#include "protocol/zel_helper.h"
#include "resources/labels.h"

namespace zel::cli {
namespace {

// Why `command` was not done when no administrator's consent came; the exit status that says so.
int withoutConsent(const char* command, OSStatus status) {
  std::string why;
  switch (status) {
    case errAuthorizationDenied:
      why = "polkit refused the administrator's consent";
      break;
    case errAuthorizationCanceled:
      why = "the authentication dialog was dismissed";
      break;
    case errAuthorizationInteractionNotAllowed:
      why =
          "no polkit authentication agent can ask an administrator; run 'pkttyagent --process "
          "PID' in another terminal, with PID this shell's ('echo $$'), and try again";
      break;
    default:
      why = "polkit cannot ask for an administrator's consent here";
      break;
  }
  fmt::print(stderr, "zelhelper: {0} needs root: {1}; or run 'sudo zelhelper {0}'\n", command, why);
  return exit_status::kNeedsRoot;
}

int install() {
  if (std::string problem = serviceManagerProblem(); !problem.empty()) {
    fmt::print(stderr, "zelhelper: {}\n", problem);
    return exit_status::kNoHelper;
  }
  HeldLog log;
  std::unique_ptr<Authorization> authRef;
  OSStatus status = createHelperAuthorization(&authRef);
  std::shared_ptr<ZelHelper> helper = installWithAuthorization(status, authRef.get());
  uint32_t version = helper ? helper->version() : 0;
  if (version == 0) {
    log.release();
    if (!authRef)
      return withoutConsent("install", status);
    fmt::print(stderr, "zelhelper: the helper was not installed\n");
    return exit_status::kNoHelper;
  }
  HelperJobState state = SMJobState(kHelperLabel);
  fmt::print("installed {} ({}), listening on {}; it answers version {}\n", kHelperLabel,
             state.owner == HelperOwner::kPackage
                 ? fmt::format("the package's {}", state.fragmentPath)
                 : helperJobFiles(kHelperLabel).executable,
             helperSocketPath(kMachServiceName), version);
  return exit_status::kSuccess;
}

int remove() {
  std::unique_ptr<Authorization> authRef;
  if (OSStatus status = createHelperAuthorization(&authRef); !authRef)
    return withoutConsent("remove", status);
  HelperJobState state = SMJobState(kHelperLabel);
  HeldLog log;
  if (!ZelHelper::remove(authRef.get())) {
    log.release();
    fmt::print(stderr, "zelhelper: the helper was not removed\n");
    return exit_status::kNo;
  }
  if (state.owner == HelperOwner::kPackage)
    fmt::print("stopped and disabled {}; the package's units stay ({})\n", kHelperLabel,
               state.fragmentPath);
  else
    fmt::print("removed {}\n", kHelperLabel);
  return exit_status::kSuccess;
}

std::string ownerText(const HelperJobState& state) {
  switch (state.owner) {
    case HelperOwner::kPackage:
      return fmt::format("package ({})", state.fragmentPath);
    case HelperOwner::kCommand:
      return fmt::format("command ({}, {})", state.fragmentPath,
                         helperJobFiles(kHelperLabel).executable);
    case HelperOwner::kNone:
      break;
  }
  return "none (not installed)";
}

// systemd's word, or null when it gave none (systemd not running, or no such unit).
nlohmann::json stateWord(const std::string& word) {
  return word.empty() ? nlohmann::json(nullptr) : nlohmann::json(word);
}

int status(bool json) {
  HelperJobState state = SMJobState(kHelperLabel);
  std::shared_ptr<ZelHelper> helper = connectToHelper(kMachServiceName);
  uint32_t version = helper ? helper->version() : 0;
  std::string socket = helperSocketPath(kMachServiceName);
  if (json) {
    nlohmann::json facts = {{"label", kHelperLabel},
                            {"owner", helperOwnerName(state.owner)},
                            {"unit_file_state", stateWord(state.unitFileState)},
                            {"active_state", stateWord(state.activeState)},
                            {"socket", socket},
                            {"answers", version != 0},
                            {"version", version != 0 ? nlohmann::json(version) : nullptr}};
    fmt::print("{}\n", facts.dump());
  } else {
    // systemd gives no unit file state for a unit it cannot find.
    auto word = [&state](const std::string& text) {
      return !text.empty() ? text : state.loadState.empty() ? "unknown" : "none";
    };
    fmt::print("label:     {}\n", kHelperLabel);
    fmt::print("owner:     {}\n", ownerText(state));
    fmt::print("unit file: {}\n", word(state.unitFileState));
    fmt::print("active:    {}\n", word(state.activeState));
    fmt::print("socket:    {}\n", socket);
    fmt::print("helper:    {}\n", version != 0 ? fmt::format("answers, version {}", version)
                                               : std::string("does not answer"));
  }
  return version != 0 ? exit_status::kSuccess : exit_status::kNoHelper;
}

}  // namespace

void addInstallCommands(CLI::App& app, int& exitStatus) {
  app.add_subcommand("install",
                     fmt::format("Install the helper daemon, or install it again, as the "
                                 "socket-activated systemd service {} (as root, or with an "
                                 "administrator's consent through polkit; no other command "
                                 "installs it). The package's helper is only enabled "
                                 "and started",
                                 kHelperLabel))
      ->callback([&exitStatus] { exitStatus = install(); });
  app.add_subcommand("remove",
                     "Stop the helper daemon and remove its service (as root, or with an "
                     "administrator's consent through polkit). The package's "
                     "helper is only stopped and disabled: its files stay")
      ->callback([&exitStatus] { exitStatus = remove(); });
  auto json = std::make_shared<bool>(false);
  CLI::App* statusCommand = app.add_subcommand(
      "status",
      "Show who installed the helper (the package, the install command or nobody), its socket's "
      "unit file and active states, and whether it answers, without changing anything (exit 3 "
      "when no helper answers)");
  statusCommand->add_flag("--json", *json,
                          "Print one JSON object with the keys label, owner (package, command or "
                          "none), unit_file_state, active_state, socket, answers and version "
                          "(null when no helper answers)");
  statusCommand->callback([&exitStatus, json] { exitStatus = status(*json); });
}

}  // namespace zel::cli
