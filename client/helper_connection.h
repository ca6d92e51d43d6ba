// SPDX-License-Identifier: MIT
// One connection to the helper daemon's Unix socket (named after the job's Mach service name,
// as the API calls it). Calls are blocking request/reply round trips; a mutex
// serialises them, so the connection may be shared between threads.
//
// The daemon closes idle connections and may end and be started again by socket activation,
// so a round trip that finds its connection closed before anything was sent connects again,
// once, with the same check of the peer. A request that was sent is never sent again: when
// its reply does not come (the daemon closed the connection or sent something malformed) or
// does not come within the reply time limit, the round trip fails and the connection is
// closed; the next round trip connects again.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace zel {

// Where the service named `machServiceName` listens: <root>/run/<name>.
std::string helperSocketPath(std::string_view machServiceName);

struct HelperConnectionOptions {
  // How long a round trip waits for its reply once the request is sent; past it the call is
  // logged (NSLog) and answered as if no helper were there.
  std::chrono::milliseconds replyTimeout{30'000};
};

class HelperConnection {
 public:
  using Options = HelperConnectionOptions;

  // Connects to `socketPath`. Before anything is sent the peer must prove (SO_PEERCRED) that
  // it runs as root or as this process's own effective uid; an impostor is logged and
  // refused. nullptr when nothing trustworthy answers there.
  static std::unique_ptr<HelperConnection> open(const std::string& socketPath,
                                                Options options = {});
  HelperConnection(const HelperConnection&) = delete;
  HelperConnection& operator=(const HelperConnection&) = delete;

  // Sends one call frame and waits for the reply; the reply body, or nullopt when no reply
  // came.
  std::optional<std::string> roundTrip(std::string_view frame);

 private:
  enum class Sent { kAll, kNothing, kPart };

  HelperConnection(UniqueFd fd, std::string socketPath, Options options);
  void reconnect();
  Sent send(std::string_view frame);
  std::optional<std::string> receiveReply();
  bool receiveAll(char* out, std::size_t count, std::chrono::steady_clock::time_point deadline);
  // Sets the socket's receive timeout unless it is already `timeout`.
  bool waitAtMost(std::chrono::milliseconds timeout);

  std::mutex mMutex;
  UniqueFd mFd;                                 // none once closed
  std::chrono::milliseconds mReceiveTimeout{};  // SO_RCVTIMEO of mFd; zero: none set
  const std::string mSocketPath;
  const Options mOptions;
};

}  // namespace zel
