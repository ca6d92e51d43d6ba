// SPDX-License-Identifier: MIT
// The cost of a request against the size of the identity files: each case with 100 groups in
// the group file and with many, in one run, the larger reported with its ratio to the smaller
// (counter "x100groups"; the goal is at most 2). In-process, as root, on a sandbox root.
//   BM_GroupStep: the group step (putUser) for a user already in the group, with 10,000 groups.
//   BM_PermitExistingFile: permitAccessToPath of an existing file, with 60,000 groups.
#include <unistd.h>

#include <map>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "daemon/daemon_zel_helper.h"
#include "platform/log.h"
#include "tests/support/sandbox_root.h"

namespace {

using zel::test::SandboxRoot;

constexpr int kBaselineGroups = 100;
constexpr const char* kGroup = "zel-home-users";

// `count` groups before the requested one, which lists alice as a member.
void writeGroups(const SandboxRoot& root, int count) {
  std::string lines = root.readFile("etc/group");
  for (int i = 0; i < count; ++i)
    lines += fmt::format("group{}:x:{}:bob,carol{}\n", i, 100000 + i, i);
  lines += fmt::format("{}:x:30000:bob,alice\n", kGroup);
  root.writeFile("etc/group", lines);
}

void BM_GroupStep(benchmark::State& state) {
  SandboxRoot root;
  zel::LogCapture quiet(zel::LogChannel::kSystemLog);
  writeGroups(root, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (!zel::ZelHelper::putUser("alice", kGroup))
      state.SkipWithError("putUser answered NO");
  }
}

void BM_PermitExistingFile(benchmark::State& state) {
  SandboxRoot root;
  zel::LogCapture quiet(zel::LogChannel::kSystemLog);
  writeGroups(root, static_cast<int>(state.range(0)));
  std::string path = root.scratch() + "/item";
  root.writeFile("scratch/item", "contents\n");
  zel::DaemonZelHelper helper;
  for (auto _ : state) {
    if (!helper.permitAccessToPath(path, "alice", kGroup))
      state.SkipWithError("permitAccessToPath answered NO");
  }
}

BENCHMARK(BM_GroupStep)->Arg(kBaselineGroups)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PermitExistingFile)->Arg(kBaselineGroups)->Arg(60000)->Unit(benchmark::kMicrosecond);

// Adds to each run with more groups its time as a multiple of the same case's baseline run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> reported = runs;
    for (Run& run : reported) {
      double time = run.GetAdjustedRealTime();
      const std::string& name = run.run_name.function_name;
      if (run.run_name.args == std::to_string(kBaselineGroups))
        mBaselines[name] = time;
      else if (mBaselines.count(name) != 0)
        run.counters["x100groups"] = time / mBaselines[name];
    }
    ConsoleReporter::ReportRuns(reported);
  }

 private:
  std::map<std::string, double> mBaselines;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
