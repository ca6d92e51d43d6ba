// SPDX-License-Identifier: MIT
// Refusal and audit lines are limited per uid, on a clock the test turns by hand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "daemon/refusal_log.h"

namespace zel {
namespace {

TEST(RefusalLines, AreLimitedPerUidAndMinuteInTheServer) {
  LogCapture capture(LogChannel::kSystemLog);
  for (int i = 0; i < 12; ++i)  // outside the server, all of them
    logRefusalLine(LogChannel::kSystemLog, 5, "5", {});
  RefusalLineLimiter::TimePoint now{};
  RefusalLineLimiter limiter(RefusalLineLimiter::Limits{}, [&] { return now; });
  RefusalLineLimiter audits(RefusalLineLimiter::Limits{2, std::chrono::seconds(60), "audit lines"},
                            [&] { return now; });
  RefusalLimitScope scope(limiter, &audits);
  // At second `at`, `count` lines for `uid`; a count of 0 is the server's turn to log the
  // summaries that are due. Uid 4243's first minute ends unsummarised, before its next line.
  const std::tuple<int, uid_t, int> steps[] = {{0, 4242, 37}, {1, kUidsWithoutUserEntry, 11},
                                               {2, 4243, 11}, {2, 0, 10},
                                               {59, 0, 0},    {60, 0, 0},
                                               {61, 0, 0},    {75, 4243, 11}};
  for (const auto& [at, uid, count] : steps) {
    now = RefusalLineLimiter::TimePoint{} + std::chrono::seconds(at);
    if (count == 0)
      limiter.logDueSummaries();
    for (int i = 0; i < count; ++i)
      logRefusalLine(LogChannel::kSystemLog, uid, std::to_string(uid), {});
  }
  std::map<uid_t, int> logged;
  std::vector<std::string> summaries;
  for (const std::string& line : capture.lines()) {
    if (line.starts_with("ZelHelper left out"))
      summaries.push_back(line);
    else
      ++logged[static_cast<uid_t>(std::stoul(line))];
  }
  EXPECT_EQ(logged, (std::map<uid_t, int>{
                        {0, 10}, {5, 12}, {4242, 10}, {4243, 20}, {kUidsWithoutUserEntry, 10}}));
  EXPECT_THAT(summaries, ::testing::ElementsAre(
                             "ZelHelper left out 27 refusal lines for uid 4242 in the last minute",
                             ::testing::HasSubstr(" 1 refusal lines for uids without a user entry"),
                             ::testing::HasSubstr(" 1 refusal lines for uid 4243")));
  // Audit lines have an allowance of their own; root's are never left out.
  LogCapture audited(LogChannel::kSystemLog);
  for (uid_t uid : {4242, 4242, 4242, 0, 0, 0})
    logAuditLine(LogChannel::kSystemLog, uid, "audit", {});
  now += std::chrono::seconds(60);
  audits.logDueSummaries();
  EXPECT_THAT(audited.lines(),
              ::testing::ElementsAre("audit", "audit", "audit", "audit", "audit",
                                     ::testing::HasSubstr("1 audit lines for uid 4242")));
}

}  // namespace
}  // namespace zel
