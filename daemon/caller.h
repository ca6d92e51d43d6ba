// The identity of the process whose request the daemon is serving, as the kernel reports it
// for the connection (SO_PEERCRED), never as the request claims.
//
// The serving thread opens a CallerScope around each operation; the operations read
// currentCaller(). Outside any scope (an in-process call) the caller is this process itself,
// with its real uid and gid, so an in-process call never gains rights it did not have.
#pragma once

#include <sys/types.h>

namespace zel {

struct Caller {
  uid_t uid;
  gid_t gid;
  pid_t pid;
};

// The caller of the operation in progress on this thread.
Caller currentCaller();

class CallerScope {
 public:
  explicit CallerScope(const Caller& caller);
  ~CallerScope();
  CallerScope(const CallerScope&) = delete;
  CallerScope& operator=(const CallerScope&) = delete;

 private:
  const Caller* mPrevious;
  Caller mCaller;
};

}  // namespace zel
