// SPDX-License-Identifier: MIT
#include "daemon/refusal_log.h"

#include <fmt/format.h>

#include "daemon/daemon_log.h"
#include "platform/message_ids.h"

namespace zel {
namespace {

thread_local RefusalLineLimiter* tRefusalLimiter = nullptr;
thread_local RefusalLineLimiter* tAuditLimiter = nullptr;

}  // namespace

RefusalLineLimiter::RefusalLineLimiter(Limits limits, Clock clock)
    : mLimits(limits), mClock(std::move(clock)) {}

void RefusalLineLimiter::log(LogChannel channel, uid_t uid, std::string_view line,
                             const LogEvent& event) {
  const TimePoint now = mClock();
  auto [found, opened] = mWindows.try_emplace(uid, Window{now});
  Window& window = found->second;
  if (!opened && now - window.start >= mLimits.window) {
    logSummary(uid, window);
    window = Window{now};
  }
  window.channel = channel;
  if (window.logged < mLimits.linesPerWindow) {
    ++window.logged;
    logLine(channel, line, event);
  } else {
    ++window.leftOut;
  }
}

std::optional<RefusalLineLimiter::TimePoint> RefusalLineLimiter::logDueSummaries() {
  const TimePoint now = mClock();
  std::optional<TimePoint> next;
  for (auto it = mWindows.begin(); it != mWindows.end();) {
    const TimePoint end = it->second.start + mLimits.window;
    if (now >= end) {
      logSummary(it->first, it->second);
      it = mWindows.erase(it);
      continue;
    }
    if (it->second.leftOut > 0 && (!next || end < *next))
      next = end;
    ++it;
  }
  return next;
}

void RefusalLineLimiter::logSummary(uid_t uid, const Window& window) const {
  if (window.leftOut == 0)
    return;
  const bool shared = uid == kUidsWithoutUserEntry;
  logLine(
      window.channel,
      fmt::format("ZelHelper left out {} {} for {} in the last minute", window.leftOut,
                  mLimits.what, shared ? "uids without a user entry" : fmt::format("uid {}", uid)),
      LogEvent{message_id::kLinesLeftOut,
               LOG_WARNING,
               {{log_field::kCallerUid, shared ? std::string() : std::to_string(uid)}}});
}

RefusalLimitScope::RefusalLimitScope(RefusalLineLimiter& refusals, RefusalLineLimiter* audits)
    : mPreviousRefusals(tRefusalLimiter), mPreviousAudits(tAuditLimiter) {
  tRefusalLimiter = &refusals;
  tAuditLimiter = audits;
}

RefusalLimitScope::~RefusalLimitScope() {
  tRefusalLimiter = mPreviousRefusals;
  tAuditLimiter = mPreviousAudits;
}

void logRefusalLine(LogChannel channel, uid_t uid, std::string_view line, const LogEvent& event) {
  if (tRefusalLimiter != nullptr)
    tRefusalLimiter->log(channel, uid, line, event);
  else
    logLine(channel, line, event);
}

void logAuditLine(LogChannel channel, uid_t uid, std::string_view line, const LogEvent& event) {
  if (tAuditLimiter != nullptr && uid != 0)
    tAuditLimiter->log(channel, uid, line, event);
  else
    logLine(channel, line, event);
}

}  // namespace zel
