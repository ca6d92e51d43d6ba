#include "daemon/refusal_log.h"

#include <fmt/format.h>

namespace zel {
namespace {

thread_local RefusalLineLimiter* tLimiter = nullptr;

void logIn(LogChannel channel, std::string_view line) {
  if (channel == LogChannel::kNSLog)
    NSLog(line);
  else
    systemLog(line);
}

}  // namespace

RefusalLineLimiter::RefusalLineLimiter(Limits limits, Clock clock)
    : mLimits(limits), mClock(std::move(clock)) {}

void RefusalLineLimiter::log(LogChannel channel, uid_t uid, std::string_view line) {
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
    logIn(channel, line);
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
  logIn(window.channel,
        fmt::format("ZelHelper left out {} refusal lines for {} in the last minute", window.leftOut,
                    uid == kUidsWithoutUserEntry ? "uids without a user entry"
                                                 : fmt::format("uid {}", uid)));
}

RefusalLimitScope::RefusalLimitScope(RefusalLineLimiter& limiter) : mPrevious(tLimiter) {
  tLimiter = &limiter;
}

RefusalLimitScope::~RefusalLimitScope() {
  tLimiter = mPrevious;
}

void logRefusalLine(LogChannel channel, uid_t uid, std::string_view line) {
  if (tLimiter != nullptr)
    tLimiter->log(channel, uid, line);
  else
    logIn(channel, line);
}

}  // namespace zel
