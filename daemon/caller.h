// SPDX-License-Identifier: MIT
// The identity of the process whose request the daemon is serving, as the kernel reports it
// for the connection (SO_PEERCRED), never as the request claims.
//
// The serving thread opens a CallerScope around each operation; the operations read
// currentCaller(). Outside any scope (an in-process call) the caller is this process itself,
// with its real uid and gid, so an in-process call never gains rights it did not have.
#pragma once

#include <sys/types.h>

#include <string>

namespace zel {

struct Caller {
  uid_t uid;
  gid_t gid;
  pid_t pid;
};

// The caller of the operation in progress on this thread.
Caller currentCaller();

// The serving thread gives each scope its connection's reason slot: why the connection's last
// request answered NO or left the item other than asked, kept until the next request. It is the
// only state a connection keeps between requests.
class CallerScope {
 public:
  explicit CallerScope(const Caller& caller, std::string* lastReason = nullptr);
  ~CallerScope();
  CallerScope(const CallerScope&) = delete;
  CallerScope& operator=(const CallerScope&) = delete;

 private:
  const CallerScope* mPrevious;
  Caller mCaller;
  std::string* mLastReason;

  friend Caller currentCaller();
  friend void noteReason(std::string reason);
  friend std::string lastNotedReason();
};

// Sets the reason of the request in progress; nothing happens outside a scope with a slot.
void noteReason(std::string reason);
// The reason in the slot of the request in progress (empty outside a scope with a slot).
std::string lastNotedReason();

}  // namespace zel
