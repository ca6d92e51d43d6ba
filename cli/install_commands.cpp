// install, remove, status: putting the helper daemon in place as a socket-activated systemd
// service, taking it away, and looking at it.
#include <unistd.h>

#include <cstdio>

#include <fmt/core.h>

#include "cli/commands.h"
#include "cli/held_log.h"
#include "client/helper_proxy.h"
#include "client/helper_rights.h"
#include "daemon/zel_helper.h"
#include "platform/service_management.h"
#include "platform/systemd_units.h"
#include "resources/labels.h"

namespace zel::cli {
namespace {

constexpr int kNo = 1;
constexpr int kNoHelper = 3;
constexpr int kNeedsRoot = 4;

bool runningAsRoot(const char* command) {
  if (geteuid() == 0)
    return true;
  fmt::print(stderr, "zelhelper: {0} needs root; run 'sudo zelhelper {0}'\n", command);
  return false;
}

int install() {
  if (!runningAsRoot("install"))
    return kNeedsRoot;
  if (std::optional<std::string> problem = serviceManagerProblem()) {
    fmt::print(stderr, "zelhelper: {}\n", *problem);
    return kNoHelper;
  }
  HeldLog log;
  std::shared_ptr<ZelHelper> helper = ZelHelper::install();
  uint32_t version = helper ? helper->version() : 0;
  if (version == 0) {
    log.release();
    fmt::print(stderr, "zelhelper: the helper was not installed\n");
    return kNoHelper;
  }
  fmt::print("installed {} ({}), listening on {}; it answers version {}\n", kHelperLabel,
             helperJobFiles(kHelperLabel).executable, helperSocketPath(kMachServiceName), version);
  return 0;
}

int remove() {
  if (!runningAsRoot("remove"))
    return kNeedsRoot;
  std::unique_ptr<Authorization> authRef;
  createHelperAuthorization(&authRef);
  HeldLog log;
  if (!ZelHelper::remove(authRef.get())) {
    log.release();
    fmt::print(stderr, "zelhelper: the helper was not removed\n");
    return kNo;
  }
  fmt::print("removed {}\n", kHelperLabel);
  return 0;
}

int status() {
  HelperJobFiles files = helperJobFiles(kHelperLabel);
  std::shared_ptr<ZelHelper> helper = connectToHelper(kMachServiceName);
  uint32_t version = helper ? helper->version() : 0;
  fmt::print("label:     {}\n", kHelperLabel);
  fmt::print("installed: {}\n",
             SMJobInstalled(kHelperLabel)
                 ? fmt::format("yes, {} and {}", files.socketUnit, files.executable)
                 : std::string("no"));
  fmt::print("socket:    {}\n", helperSocketPath(kMachServiceName));
  fmt::print("helper:    {}\n", version != 0 ? fmt::format("answers, version {}", version)
                                             : std::string("does not answer"));
  return version != 0 ? 0 : kNoHelper;
}

}  // namespace

void addInstallCommands(CLI::App& app, int& exitStatus) {
  app.add_subcommand("install",
                     fmt::format("Install the helper daemon, or install it again, as the "
                                 "socket-activated systemd service {} (as root; no other "
                                 "command installs it)",
                                 kHelperLabel))
      ->callback([&exitStatus] { exitStatus = install(); });
  app.add_subcommand("remove", "Stop the helper daemon and remove its service (as root)")
      ->callback([&exitStatus] { exitStatus = remove(); });
  app.add_subcommand("status",
                     "Show whether the helper is installed and answers, without changing "
                     "anything (exit 3 when no helper answers)")
      ->callback([&exitStatus] { exitStatus = status(); });
}

}  // namespace zel::cli
