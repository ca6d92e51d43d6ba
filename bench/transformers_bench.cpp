// SPDX-License-Identifier: MIT
// Each transformer forward and reverse, beside a baseline measured in the same run:
// fmt::format("{:.2f}", x) of a float. After the run a table gives every conversion's time as a
// ratio to the baseline (goal: within 3x, and under 2 microseconds for the two date conversions).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "transformers/transformers.h"
#include "values/calendar.h"

namespace {

using zel::Value;

constexpr const char* kBaseline = "baseline/format_float";

struct Case {
  const char* name;
  bool reverse;
  Value input;
};

std::vector<Case> cases() {
  const auto n = Value::numberWithInt;
  const auto f = Value::numberWithFloat;
  const auto s = Value::stringWithUTF8String;
  return {
      {"TicksStringSeconds", false, n(1234)},
      {"TicksStringSeconds", true, s("12.34")},
      {"TicksStringMinutes", false, n(9000)},
      {"TicksStringMinutes", true, s("1.5")},
      {"TicksMinutes", false, n(9000)},
      {"TicksMinutes", true, n(2)},
      {"TicksTime", false, n(372300)},
      {"TicksTime", true, s("1:02:03")},
      {"SecondsTime", false, n(3723)},
      {"SecondsTime", true, s("01:02:03")},
      {"HHMMToSeconds", false, n(30600)},
      {"HHMMToSeconds", true, s("08:30")},
      {"HundredDivider", false, n(2150)},
      {"HundredDivider", true, f(21.5f)},
      {"DateToDaySeconds", false, n(3661)},
      {"DateToDaySeconds", true, Value::dateWithTimeIntervalSince1970(zel::currentDate())},
      {"Temperature", false, n(2150)},
      {"Temperature", true, f(70.7f)},
      {"TemperatureDelta", false, n(500)},
      {"TemperatureDelta", true, f(9)},
      {"TemperatureString", false, n(2150)},
      {"FloatTemperatureString", false, f(21.5f)},
      {"InsteonAddr", false, n(0x1A2B3C)},
      {"InsteonAddr", true, s("1A.2B.3C")},
      {"KNXAddr", false, n(4611)},
      {"KNXAddr", true, s("1/2/3")},
      {"IPAddr", false, n(static_cast<int32_t>(0xC0A80101))},
      {"IPAddr", true, s("192.168.1.1")},
      {"Type", false, n(0x54454D50)},
      {"Type", true, s("TEMP")},
      {"Flow", false, n(1)},
      {"Flow", true, f(100)},
  };
}

void formatFloat(benchmark::State& state) {
  float x = 21.5f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(x);
    benchmark::DoNotOptimize(fmt::format("{:.2f}", x));
  }
}

void convert(benchmark::State& state, const Case& c) {
  const auto transformer = zel::ValueTransformer::valueTransformerForName(c.name);
  for (auto _ : state) {
    Value input = c.input;
    benchmark::DoNotOptimize(input);
    benchmark::DoNotOptimize(c.reverse ? transformer->reverseTransformedValue(input)
                                       : transformer->transformedValue(input));
  }
}

// Keeps each benchmark's time per iteration, in nanoseconds, while printing as usual.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration)
        mNanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  const std::map<std::string, double>& nanoseconds() const { return mNanoseconds; }

 private:
  std::map<std::string, double> mNanoseconds;
};

int printRatios(const std::map<std::string, double>& nanoseconds) {
  const auto baseline = nanoseconds.find(kBaseline);
  if (baseline == nanoseconds.end())
    return 0;  // filtered out: nothing to compare with
  fmt::print("\n{:<40} {:>10} {:>8}  goal\n", "conversion", "ns", "ratio");
  int missed = 0;
  for (const auto& [name, ns] : nanoseconds) {
    if (name == kBaseline)
      continue;
    const double ratio = ns / baseline->second;
    const bool date = name.find("DateToDaySeconds") != std::string::npos;
    const bool met = date ? ns < 2000 : ratio <= 3;
    missed += met ? 0 : 1;
    fmt::print("{:<40} {:>10.1f} {:>7.2f}x  {} {}\n", name, ns, ratio, date ? "< 2 us" : "<= 3x",
               met ? "met" : "MISSED");
  }
  fmt::print("baseline {}: {:.1f} ns; {} conversion(s) missed the goal\n", kBaseline,
             baseline->second, missed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The preferences are read from a scratch directory, never from the user's own.
  std::string home = (std::filesystem::temp_directory_path() / "zel-bench-XXXXXX").string();
  if (!mkdtemp(home.data()))
    return 1;
  setenv("XDG_CONFIG_HOME", home.c_str(), 1);
  zel::Transformers::init();

  benchmark::RegisterBenchmark(kBaseline, formatFloat);
  for (const Case& c : cases())
    benchmark::RegisterBenchmark(
        fmt::format("{}/{}", c.name, c.reverse ? "reverse" : "forward").c_str(), convert, c);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::remove_all(home);
  return printRatios(reporter.nanoseconds());
}
