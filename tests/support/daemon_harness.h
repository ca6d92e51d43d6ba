// SPDX-License-Identifier: MIT
// The real helper daemon for tests: the built `zelhelper`, socket-activated by
// systemd-socket-activate on <sandbox root>/run/<kMachServiceName> as the installed service would
// be (ZELHELPER_ROOT set, under the bounding set and NoNewPrivileges of the unit that installing
// writes for the sandbox root). It starts on the first connection; its standard error (systemLog
// and NSLog in a sandbox root) goes to a file that logLines() reads. Also: running a command, or a
// piece of the test, as another uid. Not thread-safe; one harness per SandboxRoot.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/zel_helper.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {

// The path of the built zelhelper executable.
std::string zelhelperExecutable();

class DaemonHarness {
 public:
  // Listens on a world-writable socket (the unit's SocketMode); std::runtime_error when the
  // activator does not listen within a few seconds. Or with a different socket name, to see the
  // daemon refuse to run; or with variables ("NAME=value") added to the daemon's environment.
  explicit DaemonHarness(const SandboxRoot& root) : DaemonHarness(root, WithEnvironment{}) {}
  struct WithFdName {
    std::string name;
  };
  DaemonHarness(const SandboxRoot& root, WithFdName fdName);
  struct WithEnvironment {
    std::vector<std::string> assignments;
  };
  DaemonHarness(const SandboxRoot& root, WithEnvironment environment);
  // Stops the daemon if it still runs.
  ~DaemonHarness() { stop(); }
  DaemonHarness(const DaemonHarness&) = delete;
  DaemonHarness& operator=(const DaemonHarness&) = delete;

  const std::string& socketPath() const { return mSocketPath; }
  // The activator's process id, which becomes the daemon's (the activator execs it).
  pid_t pid() const { return mPid; }
  // A proxy connected to the daemon (starting it on first use), or nullptr.
  std::shared_ptr<ZelHelper> connect() const;

  // Sends SIGTERM and waits (SIGKILL after 10 s), or waits for the process to end by itself:
  // the exit status, 128 + the signal, or -1 when it was stopped before.
  int stop();
  int wait();

  // The lines written to the daemon's standard error so far, all or those containing `text`.
  std::vector<std::string> logLines() const;
  std::vector<std::string> logLinesContaining(std::string_view text) const;
  // Waits until a log line contains `text`; false after `timeout`.
  bool waitForLog(std::string_view text,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  DaemonHarness(const SandboxRoot& root, const std::string& fdName,
                const std::vector<std::string>& environment);

  std::string mSocketPath;
  std::string mLogPath;
  pid_t mPid = -1;
};

struct CommandResult {
  int status;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs `argv` (argv[0] searched in PATH) with this process's environment, as `user` when
// given, and collects its output.
CommandResult runCommand(const std::vector<std::string>& argv,
                         std::optional<SandboxUser> user = std::nullopt);

// Runs `body` in a forked child that has dropped every privilege to `user`'s uid and gid;
// returns the child's exit status (body's result, or 128 + signal).
int runAs(const SandboxUser& user, const std::function<int()>& body);

}  // namespace zel::test
