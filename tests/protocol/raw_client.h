// SPDX-License-Identifier: MIT
// A test client that speaks bytes, not calls: for sending the daemon what no proxy would, and for
// a stand-in daemon's end of a connection.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"
#include "protocol/wire.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {

class RawClient {
 public:
  explicit RawClient(const std::string& socketPath);
  // Connected as `user`, so that the daemon sees that uid as the caller.
  RawClient(const std::string& socketPath, const SandboxUser& user);
  explicit RawClient(int fd) : mFd(fd) {}  // accepted by a stand-in for the daemon

  bool send(std::string_view bytes);
  // The next reply body, or nullopt when the peer closed the connection or nothing arrived for
  // `timeout`.
  std::optional<std::string> reply(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // True when the peer closes the connection within `timeout` (unread replies are skipped).
  bool closedByDaemon(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  void close() { mFd.reset(); }
  // Shuts the connection down both ways; wakes a thread blocked sending on it.
  void hangUp() { shutdown(mFd.get(), SHUT_RDWR); }

 private:
  // Adds what arrives within `timeout` to mIn; false when nothing did or the connection closed.
  bool receive(std::chrono::milliseconds timeout);

  UniqueFd mFd;
  bool mClosed = false;
  wire::FrameAssembler mIn;
};

// A socket listening at `socketPath`, open to every uid; throws std::runtime_error when it
// cannot listen there.
int listenAt(const std::string& socketPath);

// Little-endian encodings of a number and a string, as the wire writes them; a frame with `body`
// is written as a string is.
std::string le32(uint32_t value);
std::string str(std::string_view text);
inline std::string frame(std::string_view body) {
  return str(body);
}

}  // namespace zel::test
