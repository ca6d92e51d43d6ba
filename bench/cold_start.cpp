// SPDX-License-Identifier: MIT
// Cold start: the first call on a socket whose daemon is not yet running, measured side by side
// with fork and exec of a trivial static program; their ratio (counter "ratio") is the figure
// that counts.
//
// The benchmark plays systemd's part: it keeps the listening socket under a temporary
// ZELHELPER_ROOT and, for every iteration, forks and execs the built zelhelper with that socket
// handed over by the socket-activation protocol, then asks `version` through the client's proxy.
// The time runs from the fork to the answer; stopping the daemon afterwards is not timed.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "client/helper_connection.h"
#include "client/helper_proxy.h"
#include "resources/labels.h"

namespace {

using Clock = std::chrono::steady_clock;

// Forks and execs `path` with no arguments, `environment` and standard error on /dev/null.
// `listenFd`, when not negative, becomes descriptor 3 with LISTEN_PID naming the child.
pid_t spawn(const char* path, std::vector<std::string> environment, int listenFd = -1) {
  std::vector<char*> envp;
  for (auto& entry : environment)
    envp.push_back(entry.data());
  char listenPid[32] = "LISTEN_PID=";
  if (listenFd >= 0)
    envp.push_back(listenPid);
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    if (listenFd >= 0) {
      char digits[16];
      int length = 0;
      for (pid_t self = getpid(); self > 0; self /= 10)
        digits[length++] = static_cast<char>('0' + self % 10);
      char* out = listenPid + std::strlen(listenPid);
      while (length > 0)
        *out++ = digits[--length];
      *out = '\0';
      if (listenFd == 3)
        fcntl(3, F_SETFD, 0);
      else
        dup2(listenFd, 3);
    }
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    char* argv[] = {const_cast<char*>(path), nullptr};
    execve(path, argv, envp.data());
    _exit(127);
  }
  return pid;
}

// The time from fork to the exit of the trivial static program.
double execTrivialStatic() {
  const auto start = Clock::now();
  const pid_t pid = spawn(ZEL_BENCH_TRIVIAL_STATIC, {});
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("the trivial program failed");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// The socket systemd would hold: <temporary root>/run/<Mach service name>.
class ActivationSocket {
 public:
  ActivationSocket() {
    char pattern[] = "/tmp/zel-cold-start-XXXXXX";
    mRoot = mkdtemp(pattern);
    std::filesystem::create_directories(mRoot + "/run");
    setenv("ZELHELPER_ROOT", mRoot.c_str(), 1);
    const std::string path = zel::helperSocketPath(zel::kMachServiceName);
    mFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (bind(mFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(mFd, 16) != 0)
      throw std::runtime_error("cannot listen at " + path);
  }
  ~ActivationSocket() {
    close(mFd);
    std::filesystem::remove_all(mRoot);
    unsetenv("ZELHELPER_ROOT");
  }
  int fd() const { return mFd; }
  const std::string& root() const { return mRoot; }

 private:
  std::string mRoot;
  int mFd = -1;
};

// Each iteration times the trivial program and then a cold start, so that both see the same load
// on a shared machine; the counters compare their medians.
void BM_ColdStartFirstCall(benchmark::State& state) {
  const ActivationSocket socket;
  const std::vector<std::string> environment = {
      "LISTEN_FDS=1", "LISTEN_FDNAMES=" + std::string(zel::kMachServiceName),
      "ZELHELPER_ROOT=" + socket.root(), "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
  std::vector<double> baseline, coldStart;
  for (auto _ : state) {
    baseline.push_back(execTrivialStatic());

    const auto start = Clock::now();
    const pid_t pid = spawn(ZEL_BENCH_ZELHELPER, environment, socket.fd());
    auto helper = zel::connectToHelper(zel::kMachServiceName);
    const uint32_t version = helper ? helper->version() : 0;
    coldStart.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    state.SetIterationTime(coldStart.back());

    helper.reset();
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (version != 3) {
      state.SkipWithError("the daemon did not answer version 3");
      return;
    }
  }
  state.counters["static_exec_median_ms"] = median(baseline) * 1e3;
  state.counters["cold_start_median_ms"] = median(coldStart) * 1e3;
  state.counters["ratio"] = median(coldStart) / median(baseline);
}

BENCHMARK(BM_ColdStartFirstCall)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
