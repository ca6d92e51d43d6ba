#include "daemon/caller.h"

#include <unistd.h>

namespace zel {
namespace {
thread_local const Caller* tCurrent = nullptr;
}

Caller currentCaller() {
  if (tCurrent != nullptr)
    return *tCurrent;
  return Caller{getuid(), getgid(), getpid()};
}

CallerScope::CallerScope(const Caller& caller) : mPrevious(tCurrent), mCaller(caller) {
  tCurrent = &mCaller;
}

CallerScope::~CallerScope() {
  tCurrent = mPrevious;
}

}  // namespace zel
