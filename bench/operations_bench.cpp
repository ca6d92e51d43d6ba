// The helper's operations against a plain baseline measured in the same run, reported as
// ratios: createDirectory of a new directory per call beside mkdir+chown+chmod, and the group
// step with 10,000 groups in the group file beside a plain read of that file. In-process, as
// root, on a sandbox root.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "daemon/zel_helper.h"
#include "platform/log.h"
#include "tests/support/sandbox_root.h"

namespace {

using zel::test::SandboxRoot;

constexpr int kGroupCount = 10000;
constexpr gid_t kAliceGroup = 4242;

void BM_MkdirChownChmod(benchmark::State& state) {
  SandboxRoot root;
  int count = 0;
  for (auto _ : state) {
    std::string path = fmt::format("{}/d{}", root.scratch(), count++);
    if (mkdir(path.c_str(), 0700) != 0 ||
        chown(path.c_str(), static_cast<uid_t>(-1), kAliceGroup) || chmod(path.c_str(), 0770) != 0)
      state.SkipWithError("mkdir, chown or chmod failed");
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_CreateDirectory(benchmark::State& state) {
  SandboxRoot root;
  zel::LogCapture quiet(zel::LogChannel::kSystemLog);
  zel::ZelHelper helper;
  int count = 0;
  for (auto _ : state) {
    if (!helper.createDirectory(fmt::format("{}/d{}", root.scratch(), count++), "alice", "alice"))
      state.SkipWithError("createDirectory answered NO");
  }
  state.SetItemsProcessed(state.iterations());
}

// The last group has the requested full name and alice as a member: the step reads and
// searches the whole file and commits nothing.
void writeManyGroups(const SandboxRoot& root) {
  std::string lines = root.readFile("etc/group");
  for (int i = 0; i < kGroupCount; ++i)
    lines += fmt::format("group{}:x:{}:bob,carol{}\n", i, 10000 + i, i);
  lines += "zel-home-users:x:30000:bob,alice\n";
  root.writeFile("etc/group", lines);
}

void BM_ReadGroupFile(benchmark::State& state) {
  SandboxRoot root;
  writeManyGroups(root);
  std::string path = root.at("etc/group");
  for (auto _ : state) {
    std::string contents;
    char buffer[65536];
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
      contents.append(buffer, static_cast<size_t>(got));
    close(fd);
    benchmark::DoNotOptimize(contents);
  }
}

void BM_GroupStep10000Groups(benchmark::State& state) {
  SandboxRoot root;
  writeManyGroups(root);
  for (auto _ : state) {
    if (!zel::ZelHelper::putUser("alice", "zel-home-users"))
      state.SkipWithError("putUser answered NO");
  }
}

BENCHMARK(BM_MkdirChownChmod)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CreateDirectory)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadGroupFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GroupStep10000Groups)->Unit(benchmark::kMillisecond);

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
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatio("createDirectory, per new directory", "BM_CreateDirectory",
                      "BM_MkdirChownChmod");
  reporter.printRatio("group step with 10,000 groups", "BM_GroupStep10000Groups",
                      "BM_ReadGroupFile");
  benchmark::Shutdown();
  return 0;
}
