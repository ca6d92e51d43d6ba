// SPDX-License-Identifier: MIT
// The helper's createDirectory of a new directory, in-process as root on a sandbox root, against
// mkdir+chown+chmod of one measured in the same run, reported as a ratio.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "daemon/daemon_zel_helper.h"
#include "platform/log.h"
#include "tests/support/sandbox_root.h"

namespace {

using zel::test::SandboxRoot;

constexpr gid_t kAliceGroup = 4242;

// One sandbox root for the whole run, removed at exit: removing thousands of directories between
// runs would slow the next mkdirs on both sides and flatter the ratio.
const SandboxRoot& sandbox() {
  static SandboxRoot root;
  return root;
}

// A fresh directory of the scratch directory for one run, at the same depth for both sides.
std::string freshDirectory(const char* side) {
  static int runs = 0;
  std::string path = fmt::format("{}/{}{}", sandbox().scratch(), side, runs++);
  mkdir(path.c_str(), 0755);
  return path;
}

void BM_MkdirChownChmod(benchmark::State& state) {
  std::string directory = freshDirectory("baseline");
  int count = 0;
  for (auto _ : state) {
    std::string path = fmt::format("{}/d{}", directory, count++);
    if (mkdir(path.c_str(), 0700) != 0 ||
        chown(path.c_str(), static_cast<uid_t>(-1), kAliceGroup) || chmod(path.c_str(), 02770) != 0)
      state.SkipWithError("mkdir, chown or chmod failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CreateDirectory(benchmark::State& state) {
  std::string directory = freshDirectory("helper");
  zel::LogCapture quiet(zel::LogChannel::kSystemLog);
  zel::DaemonZelHelper helper;
  int count = 0;
  for (auto _ : state) {
    if (!helper.createDirectory(fmt::format("{}/d{}", directory, count++), "alice", "alice"))
      state.SkipWithError("createDirectory answered NO");
  }
  state.SetItemsProcessed(state.iterations());
}

// Medians of runs taken in turns, so that a load that comes and goes on a shared machine weighs
// on both sides of the ratio alike.
BENCHMARK(BM_MkdirChownChmod)->Unit(benchmark::kMicrosecond)->Repetitions(7);
BENCHMARK(BM_CreateDirectory)->Unit(benchmark::kMicrosecond)->Repetitions(7);

// Keeps each benchmark's real time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      mSeconds[run.benchmark_name()] =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  void printRatio(const char* what, const std::string& measured, const std::string& baseline) {
    if (mSeconds.count(measured) == 0 || mSeconds.count(baseline) == 0)
      return;
    std::printf("%s: %.1fx the baseline (%.3f ms against %.3f ms)\n", what,
                mSeconds[measured] / mSeconds[baseline], mSeconds[measured] * 1e3,
                mSeconds[baseline] * 1e3);
  }

 private:
  std::map<std::string, double> mSeconds;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> arguments(argv, argv + argc);
  std::string interleaved = "--benchmark_enable_random_interleaving=true";
  arguments.insert(arguments.begin() + 1, interleaved.data());
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("createDirectory, per new directory", "BM_CreateDirectory/repeats:7_median",
                      "BM_MkdirChownChmod/repeats:7_median");
  benchmark::Shutdown();
  return 0;
}
