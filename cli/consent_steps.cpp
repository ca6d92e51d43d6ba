// SPDX-License-Identifier: MIT
// consent-steps: the root side that pkexec starts for an ordinary user's install and remove
// (platform/consent_channel.h), hidden from the list of commands.
//
// It runs for `zelhelper consent-steps` alone (no other argument or option) and only with real
// and effective uid 0. It keeps nothing of the environment it inherited unless root started it
// itself: pkexec always sets PKEXEC_UID, and only without it do ZELHELPER_ROOT and PATH count,
// which is how tests, running as root, point it at a sandbox root. It closes every descriptor
// above 2, writes "ready", and then does the steps that its parent sends on standard input, one
// a line, answering each on standard output: "remove" removes the job kHelperLabel, "bless"
// blesses this executable itself (/proc/self/exe, which pkexec ran as the polkit action's
// exec.path), as `zelhelper install` and `remove` do as root. No step names a path. Any other
// line ends it with exit status 2; the end of its input with 0.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <fmt/core.h>

#include "cli/commands.h"
#include "platform/consent_channel.h"
#include "platform/exit_status.h"
#include "platform/fd_io.h"
#include "platform/service_management.h"
#include "platform/unique_fd.h"
#include "resources/labels.h"

namespace zel::cli {
namespace {

// Without an environment, the system root is "/" and every tool runs from the system's own
// directories with a fixed environment (platform/command.h).
void keepNothingInherited() {
  if (std::getenv("PKEXEC_UID") != nullptr)
    clearenv();
  close_range(3, ~0U, 0);
  // Neither the directories that systemctl makes nor a copy cut short by a file size limit
  // are the user's to decide.
  umask(022);
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &unlimited);
}

std::string answer(bool done, const std::optional<ServiceError>& error) {
  if (done)
    return std::string(kConsentDone);
  std::string why = error ? error->description() : "failed";
  for (char& c : why) {
    if (c == '\n' || c == '\r')
      c = ' ';
  }
  return fmt::format("{}{}", kConsentFailedPrefix, why.substr(0, kConsentLineLimit / 2));
}

int serveSteps() {
  // The rights are root's own: asking for them could only start another root side.
  const Authorization authorization({kSMRightBlessPrivilegedHelper, kSMRightModifySystemDaemons});
  // Once ready, the parent reads no more of standard error.
  const UniqueFd devNull(open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!devNull || dup2(devNull.get(), STDERR_FILENO) < 0)
    return exit_status::kNo;
  if (!writeAll(STDOUT_FILENO, fmt::format("{}\n", kConsentReady)).empty())
    return exit_status::kNo;
  while (std::optional<std::string> step = readLine(STDIN_FILENO, kConsentLineLimit)) {
    std::optional<ServiceError> error;
    bool done;
    if (*step == kConsentStepRemove)
      done = SMJobRemove(kSMDomainSystemLaunchd, kHelperLabel, &authorization, true, &error);
    else if (*step == kConsentStepBless)
      done = SMJobBless(kSMDomainSystemLaunchd, kHelperLabel, &authorization, &error);
    else {
      writeAll(STDOUT_FILENO, fmt::format("{}no such step\n", kConsentFailedPrefix));
      return exit_status::kBadInput;
    }
    if (!writeAll(STDOUT_FILENO, answer(done, error) + "\n").empty())
      return exit_status::kNo;
  }
  return exit_status::kSuccess;
}

int consentSteps(int argc) {
  if (argc != 2) {
    fmt::print(stderr, "zelhelper: {} takes no arguments\n", kConsentStepsCommand);
    return exit_status::kBadInput;
  }
  if (getuid() != 0 || geteuid() != 0) {
    fmt::print(stderr, "zelhelper: {} runs only as root, started by pkexec\n",
               kConsentStepsCommand);
    return exit_status::kNeedsRoot;
  }
  keepNothingInherited();
  return serveSteps();
}

}  // namespace

void addConsentStepsCommand(CLI::App& app, int& exitStatus, int argc) {
  app.add_subcommand(std::string(kConsentStepsCommand),
                     "The root side that pkexec starts when an ordinary user installs or "
                     "removes the helper: it does the steps its parent sends on standard input, "
                     "one a line (remove, bless), and answers each on standard output")
      ->group("")
      ->callback([&exitStatus, argc] { exitStatus = consentSteps(argc); });
}

}  // namespace zel::cli
