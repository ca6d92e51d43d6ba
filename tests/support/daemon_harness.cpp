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

#include <fmt/format.h>

#include "client/helper_proxy.h"
#include "platform/systemd_units.h"
#include "resources/labels.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

int statusOf(int waitStatus) {
  if (WIFEXITED(waitStatus))
    return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus))
    return 128 + WTERMSIG(waitStatus);
  return -1;
}

// Waits for `pid` for up to `timeout`; the exit status, or nullopt while it still runs.
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int waitStatus = 0;
    const pid_t done = waitpid(pid, &waitStatus, WNOHANG);
    if (done == pid)
      return statusOf(waitStatus);
    if (done < 0)
      return -1;
    if (std::chrono::steady_clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(5ms);
  }
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
  const int null = open("/dev/null", O_RDONLY);
  dup2(null, STDIN_FILENO);
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

// The setpriv arguments for the capability bounding set and NoNewPrivileges of the service
// unit that installing writes for `root` (a sandbox root's unit adds CAP_SYS_CHROOT, which
// gpasswd -Q needs), read as the stand-in systemctl reads them.
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

DaemonHarness::DaemonHarness(const SandboxRoot& root) {
  start(root, std::string(kMachServiceName));
}

DaemonHarness::DaemonHarness(const SandboxRoot& root, WithFdName fdName) {
  start(root, fdName.name);
}

DaemonHarness::DaemonHarness(const SandboxRoot& root, WithEnvironment environment) {
  start(root, std::string(kMachServiceName), environment.assignments);
}

void DaemonHarness::start(const SandboxRoot& root, const std::string& fdName,
                          const std::vector<std::string>& environment) {
  mSocketPath = helperSocketPath(kMachServiceName);
  mLogPath = root.at("daemon.log");
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

  const std::size_t earlierListening = logLinesContaining("Listening on " + mSocketPath).size();
  const int log = open(mLogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  mPid = spawn(argv, log, log);
  close(log);
  if (mPid < 0)
    throw std::runtime_error("fork failed");

  // The socket file appears when it is bound; the activator says so once it also listens.
  // An earlier harness in the same root may have logged the same line.
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  const std::string listening = "Listening on " + mSocketPath;
  while (logLinesContaining(listening).size() <= earlierListening) {
    if (waitFor(mPid, 0ms)) {
      mPid = -1;
      throw std::runtime_error("the activator ended before it listened on " + mSocketPath);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      stop();
      throw std::runtime_error("the activator did not listen on " + mSocketPath);
    }
    std::this_thread::sleep_for(2ms);
  }
  chmod(mSocketPath.c_str(), 0666);
}

DaemonHarness::~DaemonHarness() {
  stop();
}

std::shared_ptr<ZelHelper> DaemonHarness::connect() const {
  return connectToHelper(kMachServiceName);
}

int DaemonHarness::stop() {
  if (mPid <= 0)
    return -1;
  kill(mPid, SIGTERM);
  std::optional<int> status = waitFor(mPid, 10s);
  if (!status) {
    kill(mPid, SIGKILL);
    status = waitFor(mPid, 10s);
  }
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
  std::vector<std::string> matching;
  for (std::string& line : logLines()) {
    if (line.find(text) != std::string::npos)
      matching.push_back(std::move(line));
  }
  return matching;
}

bool DaemonHarness::waitForLog(std::string_view text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (logLinesContaining(text).empty()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

CommandResult runCommand(const std::vector<std::string>& argv, std::optional<SandboxUser> user) {
  const int out = memfd_create("stdout", MFD_CLOEXEC);
  const int err = memfd_create("stderr", MFD_CLOEXEC);
  const pid_t pid = spawn(argv, out, err, user);
  int waitStatus = 0;
  waitpid(pid, &waitStatus, 0);
  CommandResult result{statusOf(waitStatus), readAll(out), readAll(err)};
  close(out);
  close(err);
  return result;
}

int runAs(const SandboxUser& user, const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    dropTo(user);
    _exit(body());
  }
  int waitStatus = 0;
  waitpid(pid, &waitStatus, 0);
  return statusOf(waitStatus);
}

}  // namespace zel::test
