// SPDX-License-Identifier: MIT
#include "daemon/caller.h"

#include <unistd.h>

#include <utility>

namespace zel {
namespace {
thread_local const CallerScope* tCurrent = nullptr;
}

Caller currentCaller() {
  if (tCurrent != nullptr)
    return tCurrent->mCaller;
  return Caller{getuid(), getgid(), getpid()};
}

CallerScope::CallerScope(const Caller& caller, std::string* lastReason)
    : mPrevious(tCurrent), mCaller(caller), mLastReason(lastReason) {
  tCurrent = this;
}

CallerScope::~CallerScope() {
  tCurrent = mPrevious;
}

void noteReason(std::string reason) {
  if (tCurrent != nullptr && tCurrent->mLastReason != nullptr)
    *tCurrent->mLastReason = std::move(reason);
}

std::string lastNotedReason() {
  if (tCurrent != nullptr && tCurrent->mLastReason != nullptr)
    return *tCurrent->mLastReason;
  return {};
}

}  // namespace zel
