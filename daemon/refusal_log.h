// SPDX-License-Identifier: MIT
// Refusal lines, limited per uid so that no caller can flood the log: at most 10 a minute for
// each uid, then one summary line a minute saying how many were left out (MESSAGE_ID
// kLinesLeftOut, LOG_WARNING). The daemon's lines about refused and closed connections go
// through the same allowance. Audit lines of callers other than root have an allowance of their
// own (60 a minute per uid, summarised the same way), so that refusals never crowd them out and
// a caller that changes items in a loop cannot flood the log either; root's are all logged.
//
// The limits hold while a RefusalLimitScope is open on the thread (the serving thread opens
// one around its event loop); elsewhere, as in in-process calls, every line is logged.
// Thread: a limiter and its scope belong to the thread that opened the scope.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

#include "platform/log.h"

namespace zel {

// The one allowance of lines shared by every uid without a user entry (such as a container's
// subordinate ids), so that a range of them is no wider a door than one uid.
inline constexpr uid_t kUidsWithoutUserEntry = static_cast<uid_t>(-1);

class RefusalLineLimiter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Clock = std::function<TimePoint()>;
  struct Limits {
    std::size_t linesPerWindow = 10;
    std::chrono::milliseconds window{60'000};
    std::string_view what = "refusal lines";  // for the summary
  };

  explicit RefusalLineLimiter(Limits limits, Clock clock = &std::chrono::steady_clock::now);

  // Logs `line` in `channel` unless `uid` has used up its allowance of the current window,
  // in which case the line is only counted. A line that opens a new window first logs the
  // summary of the window before it.
  void log(LogChannel channel, uid_t uid, std::string_view line, const LogEvent& event);
  // Logs the summary of every window that has ended with lines left out, and forgets ended
  // windows. Returns when the next summary falls due, if one will.
  std::optional<TimePoint> logDueSummaries();

 private:
  struct Window {
    TimePoint start;
    std::size_t logged = 0;
    std::size_t leftOut = 0;
    LogChannel channel = LogChannel::kSystemLog;
  };
  void logSummary(uid_t uid, const Window& window) const;

  Limits mLimits;
  Clock mClock;
  std::map<uid_t, Window> mWindows;
};

// Routes this thread's logRefusalLine calls through `limiter` for as long as it lives.
class RefusalLimitScope {
 public:
  explicit RefusalLimitScope(RefusalLineLimiter& refusals, RefusalLineLimiter* audits = nullptr);
  ~RefusalLimitScope();
  RefusalLimitScope(const RefusalLimitScope&) = delete;
  RefusalLimitScope& operator=(const RefusalLimitScope&) = delete;

 private:
  RefusalLineLimiter* mPreviousRefusals;
  RefusalLineLimiter* mPreviousAudits;
};

// Logs `line` (a complete "ZelHelper refused ..." line) in `channel` unless `uid` is over its
// allowance.
void logRefusalLine(LogChannel channel, uid_t uid, std::string_view line, const LogEvent& event);
// Logs an audit line in `channel` unless `uid`, other than root, is over its allowance.
void logAuditLine(LogChannel channel, uid_t uid, std::string_view line, const LogEvent& event);

}  // namespace zel
