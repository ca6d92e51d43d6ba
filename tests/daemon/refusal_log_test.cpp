// Refusal lines are limited per uid, on a clock the test turns by hand.
#include <gtest/gtest.h>

#include "daemon/refusal_log.h"

namespace zel {
namespace {

using namespace std::chrono_literals;

struct Step {
  std::chrono::seconds at;
  uid_t uid;  // kSummaries: the server's turn to log due summaries
  int lines = 1;
};
constexpr uid_t kSummaries = static_cast<uid_t>(-1);

struct Flood {
  const char* name;
  std::vector<Step> steps;
  std::vector<std::string> logged;  // "<uid> <n>" for the nth line of uid, or a summary
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
  std::map<uid_t, int> sent;
  for (const Step& step : GetParam().steps) {
    now = RefusalLineLimiter::TimePoint{} + step.at;
    if (step.uid == kSummaries) {
      limiter.logDueSummaries();
      continue;
    }
    for (int i = 0; i < step.lines; ++i)
      logRefusalLine(LogChannel::kSystemLog, step.uid,
                     std::to_string(step.uid) + " " + std::to_string(++sent[step.uid]));
  }
  std::vector<std::string> expected = GetParam().logged;
  EXPECT_EQ(capture.lines(), expected);
}

std::vector<std::string> linesOf(uid_t uid, int from, int to) {
  std::vector<std::string> lines;
  for (int n = from; n <= to; ++n)
    lines.push_back(std::to_string(uid) + " " + std::to_string(n));
  return lines;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::string kSummary4242 =
    "ZelHelper left out 27 refusal lines for uid 4242 in the last "
    "minute";

INSTANTIATE_TEST_SUITE_P(
    Floods, RefusalLines,
    ::testing::Values(
        Flood{"TenAMinuteAreLogged", {{0s, 4242, 10}, {59s, kSummaries}}, linesOf(4242, 1, 10)},
        Flood{"TheRestAreSummedUpWhenTheMinuteEnds",
              {{0s, 4242, 37}, {59s, kSummaries}, {60s, kSummaries}, {61s, kSummaries}},
              linesOf(4242, 1, 10) + std::vector<std::string>{kSummary4242}},
        Flood{
            "OrByTheFirstLineOfTheNextMinute",
            {{0s, 4242, 37}, {75s, 4242, 11}},
            linesOf(4242, 1, 10) + std::vector<std::string>{kSummary4242} + linesOf(4242, 38, 47)},
        Flood{"EachUidHasItsOwnAllowance",
              {{0s, 4242, 37}, {1s, 4243, 10}, {2s, 0, 10}},
              linesOf(4242, 1, 10) + linesOf(4243, 1, 10) + linesOf(0, 1, 10)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RefusalLinesOutsideTheServer, AreAllLogged) {
  LogCapture capture(LogChannel::kNSLog);
  for (int i = 0; i < 20; ++i)
    logRefusalLine(LogChannel::kNSLog, 4242, "line");
  EXPECT_EQ(capture.lines().size(), 20u);
}

}  // namespace
}  // namespace zel
