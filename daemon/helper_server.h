// SPDX-License-Identifier: MIT
// Serves the remote interface on a listening Unix stream socket: one thread multiplexes every
// client connection with epoll and runs one operation at a time, to completion, in the order
// the calls arrived. Each operation runs as the caller the kernel names for its connection
// (SO_PEERCRED).
//
// Connections are rationed so that no caller can crowd out the others:
// - a uid other than root holds at most `connectionsPerUid` at once; uids without a user entry
//   (such as a container's subordinate ids) share one such allowance;
// - at `maxConnections` in all, the oldest idle connection of the largest holder that has one
//   is closed to make room for the new one (idle: no frame in progress, nothing queued or
//   unsent); with none idle, the new one is refused;
// - a frame must arrive whole within `frameTimeout` of its first byte; a connection with no
//   frame in progress (or whose reply its client does not read) for `idleTimeout` is closed.
// A connection that sends anything malformed (protocol/wire.h) is closed. Every refused or
// closed connection is logged, through the per-uid allowance of daemon/refusal_log.h. Replies
// to a client that does not read are kept and sent as it reads, without holding up anyone
// else; meanwhile nothing more is read from it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "daemon/caller.h"
#include "daemon/refusal_log.h"
#include "platform/unique_fd.h"
#include "protocol/wire.h"
#include "protocol/zel_helper.h"

namespace zel {

class HelperServer {
 public:
  struct Limits {
    std::size_t maxConnections = 256;
    std::size_t connectionsPerUid = 16;
    std::chrono::milliseconds frameTimeout{10'000};
    std::chrono::milliseconds idleTimeout{60'000};
    RefusalLineLimiter::Limits logLines;
    RefusalLineLimiter::Limits auditLines{60, std::chrono::milliseconds{60'000}, "audit lines"};
  };

  // Serves on `listenFd` (a listening socket, which the server closes at the end) with
  // `helper` as the root object; `helper` must outlive the server.
  HelperServer(int listenFd, ZelHelper& helper, Limits limits);
  HelperServer(const HelperServer&) = delete;
  HelperServer& operator=(const HelperServer&) = delete;

  // While serving, tells the service manager every `interval` that the event loop is alive
  // ("WATCHDOG=1", platform/socket_activation.h) and how many connections and calls it has
  // ("STATUS="). The loop itself sends them, so an operation stuck in a blocking call silences
  // them and the service manager restarts the daemon.
  void keepAliveEvery(std::chrono::milliseconds interval);

  // Serves until `stopFd` becomes readable (it is not read). Returns 0 then, or 1 when the
  // event loop itself fails.
  int run(int stopFd);

 private:
  using Clock = std::chrono::steady_clock;
  // Whose allowance a connection counts against: its uid, or kNoEntry for uids without a
  // user entry.
  using Holder = int64_t;
  static constexpr Holder kNoEntry = -1;

  struct Connection {
    UniqueFd fd;
    Caller caller;
    Holder holder;
    wire::FrameAssembler in;
    std::string out;
    Clock::time_point frameStarted;  // first byte of the frame in progress
    Clock::time_point lastActive;    // last byte received or sent, or last call served
    uint32_t interest = 0;
    bool queued = false;
    bool peerClosed = false;
    std::string lastReason;
  };

  struct Deadline {
    Clock::time_point at;
    bool midFrame;  // else idle
  };

  void acceptAll();
  bool admit(const Caller& caller, Holder holder);
  void logConnectionLine(const Caller& caller, Holder holder, const std::string& line,
                         std::string_view messageId, int priority);
  std::optional<uint64_t> evictionCandidate() const;
  void onEvent(uint64_t id, uint32_t events);
  bool receive(Connection& connection);
  bool flush(Connection& connection);
  void serveQueued();
  void serveOne(uint64_t id);
  void closeExpired();
  void keepAlive();
  int msUntilNextDeadline();
  std::optional<Deadline> deadlineOf(const Connection& connection) const;
  void settle(uint64_t id);
  // Closes the connection; a reason is logged under `messageId` at `priority`.
  void drop(uint64_t id, const std::string& reason = {}, std::string_view messageId = {},
            int priority = LOG_WARNING);

  UniqueFd mListenFd;
  UniqueFd mEpollFd;
  ZelHelper& mHelper;
  Limits mLimits;
  RefusalLineLimiter mLogLimiter;
  RefusalLineLimiter mAuditLimiter;
  std::optional<std::chrono::milliseconds> mKeepAliveInterval;
  Clock::time_point mNextKeepAlive;
  uint64_t mCallsServed = 0;
  uint64_t mNextId = 1;
  std::map<uint64_t, std::unique_ptr<Connection>> mConnections;
  std::map<Holder, std::size_t> mHeld;
  std::deque<uint64_t> mReady;
};

}  // namespace zel
