// SPDX-License-Identifier: MIT
#include "tests/support/daemon_harness.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "client/helper_proxy.h"
#include "platform/systemd_units.h"
#include "platform/unique_fd.h"
#include "resources/labels.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

// Checks `done` every few milliseconds until it holds; false when `timeout` passed first.
bool pollUntil(std::chrono::milliseconds timeout, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

int statusOf(int waitStatus) {
  return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

int waitForEnd(pid_t pid) {
  int waitStatus = 0;
  return waitpid(pid, &waitStatus, 0) == pid ? statusOf(waitStatus) : -1;
}

// Waits for `pid` for up to `timeout`; the exit status, or nullopt while it still runs.
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds timeout) {
  std::optional<int> status;
  pollUntil(timeout, [&] {
    int waitStatus = 0;
    const pid_t done = waitpid(pid, &waitStatus, WNOHANG);
    if (done != 0)
      status = done == pid ? statusOf(waitStatus) : -1;
    return status.has_value();
  });
  return status;
}

void dropTo(const SandboxUser& user) {
  if (setgroups(0, nullptr) != 0 || setresgid(user.gid, user.gid, user.gid) != 0 ||
      setresuid(user.uid, user.uid, user.uid) != 0)
    _exit(126);
}

// Forks a child with standard input from /dev/null and its output to `out` and `err`, as `user`
// when given, and runs `argv` there.
pid_t spawn(const std::vector<std::string>& argv, int out, int err,
            const std::optional<SandboxUser>& user = std::nullopt) {
  const pid_t pid = fork();
  if (pid != 0)
    return pid;
  dup2(open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
  if (user)
    dropTo(*user);
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  std::fprintf(stderr, "cannot run %s\n", args[0]);
  _exit(127);
}

std::vector<std::string> linesOf(std::istream&& in) {
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::string readAll(int fd) {
  std::ifstream in("/proc/self/fd/" + std::to_string(fd));
  return {std::istreambuf_iterator<char>(in), {}};
}

// The setpriv arguments for the hardening of the service unit that installing writes for `root`
// (where gpasswd -Q needs CAP_SYS_CHROOT), read as the stand-in systemctl reads them.
std::vector<std::string> installedHardening(const SandboxRoot& root) {
  const std::string unit = root.at("zelhelper-harness.service");
  std::ofstream(unit) << serviceUnitText(kHelperLabel, helperJobFiles(kHelperLabel));
  const CommandResult read =
      runCommand({"bash", std::string(ZEL_TEST_SUPPORT_DIR) + "/unit_hardening.sh", unit});
  if (read.status != 0)
    throw std::runtime_error("cannot read the hardening of the service unit: " + read.err);
  return linesOf(std::istringstream(read.out));
}

}  // namespace

std::string zelhelperExecutable() {
  return ZEL_TEST_ZELHELPER;
}

DaemonHarness::DaemonHarness(const SandboxRoot& root, WithFdName fdName)
    : DaemonHarness(root, fdName.name, {}) {}

DaemonHarness::DaemonHarness(const SandboxRoot& root, WithEnvironment environment)
    : DaemonHarness(root, std::string(kMachServiceName), environment.assignments) {}

DaemonHarness::DaemonHarness(const SandboxRoot& root, const std::string& fdName,
                             const std::vector<std::string>& environment)
    : mSocketPath(helperSocketPath(kMachServiceName)), mLogPath(root.at("daemon.log")) {
  unlink(mSocketPath.c_str());  // left by an earlier activator that was killed
  std::vector<std::string> argv = {"systemd-socket-activate", "--listen=" + mSocketPath,
                                   "--fdname=" + fdName, "-E", "ZELHELPER_ROOT=" + root.path()};
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (std::getenv(name) != nullptr)
      argv.insert(argv.end(), {"-E", name});
  for (const std::string& assignment : environment)
    argv.insert(argv.end(), {"-E", assignment});
  argv.push_back("setpriv");
  const std::vector<std::string> hardening = installedHardening(root);
  argv.insert(argv.end(), hardening.begin(), hardening.end());
  argv.insert(argv.end(), {"--", zelhelperExecutable()});

  // The socket file appears when it is bound; the activator says so once it also listens. An
  // earlier harness in the same root may have logged the same line.
  const std::string listening = "Listening on " + mSocketPath;
  const std::size_t earlierListening = logLinesContaining(listening).size();
  const UniqueFd log(open(mLogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  mPid = spawn(argv, log.get(), log.get());
  if (mPid < 0)
    throw std::runtime_error("fork failed");
  const auto listens = [&] { return logLinesContaining(listening).size() > earlierListening; };
  std::optional<int> ended;
  pollUntil(5s, [&] { return listens() || (ended = waitFor(mPid, 0ms)).has_value(); });
  if (ended || !listens()) {
    if (!ended)
      stop();
    mPid = -1;
    throw std::runtime_error("the activator did not listen on " + mSocketPath);
  }
  chmod(mSocketPath.c_str(), 0666);
}

std::shared_ptr<ZelHelper> DaemonHarness::connect() const {
  return connectToHelper(kMachServiceName);
}

int DaemonHarness::stop() {
  if (mPid <= 0)
    return -1;
  kill(mPid, SIGTERM);
  std::optional<int> status = waitFor(mPid, 10s);
  if (!status && kill(mPid, SIGKILL) == 0)
    status = waitFor(mPid, 10s);
  mPid = -1;
  return status.value_or(-1);
}

int DaemonHarness::wait() {
  if (mPid <= 0)
    return -1;
  const int status = waitFor(mPid, 10s).value_or(-1);
  mPid = -1;
  return status;
}

std::vector<std::string> DaemonHarness::logLines() const {
  return linesOf(std::ifstream(mLogPath));
}

std::vector<std::string> DaemonHarness::logLinesContaining(std::string_view text) const {
  std::vector<std::string> matching = logLines();
  std::erase_if(matching, [&](const std::string& line) { return line.find(text) == line.npos; });
  return matching;
}

bool DaemonHarness::waitForLog(std::string_view text, std::chrono::milliseconds timeout) const {
  return pollUntil(timeout, [&] { return !logLinesContaining(text).empty(); });
}

CommandResult runCommand(const std::vector<std::string>& argv, std::optional<SandboxUser> user) {
  const UniqueFd out(memfd_create("stdout", MFD_CLOEXEC));
  const UniqueFd err(memfd_create("stderr", MFD_CLOEXEC));
  const int status = waitForEnd(spawn(argv, out.get(), err.get(), user));
  return {status, readAll(out.get()), readAll(err.get())};
}

int runAs(const SandboxUser& user, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    dropTo(user);
    _exit(body());
  }
  return waitForEnd(pid);
}

}  // namespace zel::test
