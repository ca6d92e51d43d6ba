// Serves the remote interface on a listening Unix stream socket: one thread multiplexes every
// client connection with epoll and runs one operation at a time, to completion, in the order
// the calls arrived. Each operation runs as the caller the kernel names for its connection
// (SO_PEERCRED).
//
// A connection that sends anything malformed (daemon/wire.h) is logged and closed; one that
// stays silent in the middle of a frame for `frameTimeout` is closed; beyond `maxConnections`
// new connections are refused with a log line. Replies to a client that does not read are
// kept and sent as it reads, without holding up anyone else; meanwhile nothing more is read
// from it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "daemon/caller.h"
#include "daemon/wire.h"
#include "daemon/zel_helper.h"

namespace zel {

class HelperServer {
 public:
  struct Limits {
    std::size_t maxConnections = 256;
    std::chrono::milliseconds frameTimeout{10'000};
  };

  // Serves on `listenFd` (a listening socket, which the server closes at the end) with
  // `helper` as the root object; `helper` must outlive the server.
  HelperServer(int listenFd, ZelHelper& helper, Limits limits);
  ~HelperServer();
  HelperServer(const HelperServer&) = delete;
  HelperServer& operator=(const HelperServer&) = delete;

  // Serves until `stopFd` becomes readable (it is not read). Returns 0 then, or 1 when the
  // event loop itself fails.
  int run(int stopFd);

 private:
  struct Connection {
    int fd;
    Caller caller;
    wire::FrameAssembler in;
    std::string out;
    std::chrono::steady_clock::time_point lastReceived;
    uint32_t interest = 0;
    bool queued = false;
    bool peerClosed = false;
    std::string lastReason;
  };

  void acceptAll();
  void onEvent(uint64_t id, uint32_t events);
  bool receive(Connection& connection);
  bool flush(Connection& connection);
  void serveQueued();
  void serveOne(uint64_t id);
  void closeSilent();
  int msUntilNextDeadline() const;
  void settle(uint64_t id);
  void drop(uint64_t id, const std::string& reason);

  int mListenFd;
  int mEpollFd;
  ZelHelper& mHelper;
  Limits mLimits;
  uint64_t mNextId = 1;
  std::map<uint64_t, std::unique_ptr<Connection>> mConnections;
  std::deque<uint64_t> mReady;
};

}  // namespace zel
