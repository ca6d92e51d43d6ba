// Refusal lines are limited per uid, on a clock the test turns by hand.
#include <gtest/gtest.h>

#include "daemon/refusal_log.h"

namespace zel {
namespace {

using namespace std::chrono_literals;

constexpr uid_t kSummaries = static_cast<uid_t>(-2);  // the server's turn to log due summaries

struct Step {
  std::chrono::seconds at;
  uid_t uid;
  int lines = 1;
};

struct Flood {
  const char* name;
  std::vector<Step> steps;
  std::map<uid_t, int> logged;  // plain lines logged per uid
  std::vector<std::string> summaries;
};

void PrintTo(const Flood& flood, std::ostream* out) {
  *out << flood.name;
}

class RefusalLines : public ::testing::TestWithParam<Flood> {};

TEST_P(RefusalLines, AreLimitedPerUidAndMinute) {
  RefusalLineLimiter::TimePoint now{};
  RefusalLineLimiter limiter(RefusalLineLimiter::Limits{}, [&] { return now; });
  RefusalLimitScope scope(limiter);
  LogCapture capture(LogChannel::kSystemLog);
  for (const Step& step : GetParam().steps) {
    now = RefusalLineLimiter::TimePoint{} + step.at;
    if (step.uid == kSummaries)
      limiter.logDueSummaries();
    for (int i = 0; step.uid != kSummaries && i < step.lines; ++i)
      logRefusalLine(LogChannel::kSystemLog, step.uid, std::to_string(step.uid));
  }
  std::map<uid_t, int> logged;
  std::vector<std::string> summaries;
  for (const std::string& line : capture.lines()) {
    if (line.starts_with("ZelHelper left out"))
      summaries.push_back(line);
    else
      ++logged[static_cast<uid_t>(std::stoul(line))];
  }
  EXPECT_EQ(logged, GetParam().logged);
  EXPECT_EQ(summaries, GetParam().summaries);
}

const std::string kLeftOut27 =
    "ZelHelper left out 27 refusal lines for uid 4242 in the last minute";

INSTANTIATE_TEST_SUITE_P(
    Floods, RefusalLines,
    ::testing::Values(
        Flood{"TenAMinuteAreLogged", {{0s, 4242, 10}, {59s, kSummaries}}, {{4242, 10}}, {}},
        Flood{"TheRestAreSummedUpOnceWhenTheMinuteEnds",
              {{0s, 4242, 37}, {59s, kSummaries}, {60s, kSummaries}, {61s, kSummaries}},
              {{4242, 10}},
              {kLeftOut27}},
        Flood{"OrByTheFirstLineOfTheNextMinute",
              {{0s, 4242, 37}, {75s, 4242, 11}},
              {{4242, 20}},
              {kLeftOut27}},
        Flood{"EachUidHasItsOwnAllowance",
              {{0s, 4242, 37}, {1s, 4243, 10}, {2s, 0, 10}},
              {{0, 10}, {4242, 10}, {4243, 10}},
              {}},
        Flood{"UidsWithoutAnEntryShareOne",
              {{0s, kUidsWithoutUserEntry, 11}, {60s, kSummaries}},
              {{kUidsWithoutUserEntry, 10}},
              {"ZelHelper left out 1 refusal lines for uids without a user entry in the last "
               "minute"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusalLinesOutsideTheServer, AreAllLogged) {
  LogCapture capture(LogChannel::kNSLog);
  for (int i = 0; i < 20; ++i)
    logRefusalLine(LogChannel::kNSLog, 4242, "line");
  EXPECT_EQ(capture.lines().size(), 20u);
}

}  // namespace
}  // namespace zel
