// SPDX-License-Identifier: MIT
// The cost of the transport, each figure beside a baseline measured in the same run:
//   - a version round trip through the proxy and the real daemon, against a raw Unix-socket
//     ping-pong of the same sizes with a forked echo process (goal: within 1.5x);
//   - socket-activation cold start (first connect with no daemon yet, until the first answer),
//     against fork+exec of a trivial program;
//   - the daemon's resident memory across 100,000 calls (goal: under 8 MiB, not growing).
// Ratios are printed after the table.
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "client/helper_proxy.h"
#include "resources/labels.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace {

using zel::test::DaemonHarness;
using zel::test::SandboxRoot;

// A version call is 5 bytes on the wire and its reply 8.
constexpr std::size_t kCallSize = 5;
constexpr std::size_t kReplySize = 8;

SandboxRoot& sandbox() {
  static SandboxRoot root;
  return root;
}

bool exchange(int fd, const char* out, std::size_t outSize, char* in, std::size_t inSize) {
  if (write(fd, out, outSize) != static_cast<ssize_t>(outSize))
    return false;
  std::size_t got = 0;
  while (got < inSize) {
    const ssize_t n = read(fd, in + got, inSize - got);
    if (n <= 0)
      return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

void BM_RawPingPong(benchmark::State& state) {
  int pair[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
  const pid_t echo = fork();
  if (echo == 0) {
    close(pair[0]);
    char call[kCallSize];
    const char reply[kReplySize] = {4, 0, 0, 0, 3, 0, 0, 0};
    while (exchange(pair[1], reply, 0, call, kCallSize) && write(pair[1], reply, kReplySize) > 0) {
    }
    _exit(0);
  }
  close(pair[1]);
  const char call[kCallSize] = {1, 0, 0, 0, 1};
  char reply[kReplySize];
  for (auto _ : state) {
    if (!exchange(pair[0], call, kCallSize, reply, kReplySize))
      state.SkipWithError("echo process failed");
  }
  close(pair[0]);
  waitpid(echo, nullptr, 0);
}
BENCHMARK(BM_RawPingPong);

void BM_VersionRoundTrip(benchmark::State& state) {
  DaemonHarness daemon(sandbox());
  auto helper = daemon.connect();
  if (!helper || helper->version() != 3) {
    state.SkipWithError("no daemon");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(helper->version());
}
BENCHMARK(BM_VersionRoundTrip);

void BM_ForkExecTrue(benchmark::State& state) {
  for (auto _ : state) {
    const pid_t child = fork();
    if (child == 0) {
      execl("/bin/true", "true", nullptr);
      _exit(127);
    }
    waitpid(child, nullptr, 0);
  }
}
BENCHMARK(BM_ForkExecTrue)->Iterations(30)->Unit(benchmark::kMillisecond);

void BM_ColdStart(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto daemon = std::make_unique<DaemonHarness>(sandbox());
    state.ResumeTiming();
    auto helper = daemon->connect();
    if (!helper || helper->version() != 3) {
      state.SkipWithError("the activated daemon did not answer");
      break;
    }
    state.PauseTiming();
    helper.reset();
    daemon.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ColdStart)->Iterations(30)->Unit(benchmark::kMillisecond);

long residentKiB(pid_t pid) {
  std::ifstream status(fmt::format("/proc/{}/status", pid));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0)
      return std::stol(line.substr(6));
  }
  return -1;
}

void BM_ResidentMemoryOver100kCalls(benchmark::State& state) {
  DaemonHarness daemon(sandbox());
  auto helper = daemon.connect();
  for (auto _ : state) {
    if (!helper || helper->version() != 3) {
      state.SkipWithError("no daemon");
      return;
    }
    const long first = residentKiB(daemon.pid());
    long highest = first;
    long last = first;
    for (int call = 1; call <= 100'000; ++call) {
      benchmark::DoNotOptimize(call % 2 ? helper->version() : helper->octToDec(770));
      if (call % 10'000 == 0) {
        last = residentKiB(daemon.pid());
        highest = std::max(highest, last);
      }
    }
    state.counters["rss_first_KiB"] = static_cast<double>(first);
    state.counters["rss_last_KiB"] = static_cast<double>(last);
    state.counters["rss_max_KiB"] = static_cast<double>(highest);
    state.counters["growth_ratio"] = static_cast<double>(last) / static_cast<double>(first);
  }
}
BENCHMARK(BM_ResidentMemoryOver100kCalls)->Iterations(1)->Unit(benchmark::kMillisecond);

// Prints the table as usual and keeps each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      mNanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime() *
                                           benchmark::GetTimeUnitMultiplier(run.time_unit) /
                                           benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond);
  }
  void printRatio(const std::string& measured, const std::string& baseline,
                  const std::string& goal) const {
    auto m = mNanoseconds.find(measured);
    auto b = mNanoseconds.find(baseline);
    if (m == mNanoseconds.end() || b == mNanoseconds.end() || b->second <= 0)
      return;
    fmt::print("{} / {} = {:.2f}{}\n", measured, baseline, m->second / b->second, goal);
  }

 private:
  std::map<std::string, double> mNanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("BM_VersionRoundTrip", "BM_RawPingPong", "  (goal: within 1.5)");
  reporter.printRatio("BM_ColdStart/iterations:30", "BM_ForkExecTrue/iterations:30", "");
  benchmark::Shutdown();
  return 0;
}
