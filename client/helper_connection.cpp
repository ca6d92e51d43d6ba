// SPDX-License-Identifier: MIT
#include "client/helper_connection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "daemon/wire.h"
#include "platform/log.h"
#include "platform/system_root.h"

namespace zel {
namespace {

using Clock = std::chrono::steady_clock;

// A connection to `socketPath` whose peer runs as root or as this process's effective uid, or
// -1.
int connectTrusted(const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    NSLog(fmt::format("ZelHelper socket path is too long: {}", socketPath));
    return -1;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
      (peer.uid != 0 && peer.uid != geteuid())) {
    NSLog(fmt::format("ZelHelper refusing the helper at {}: it runs as uid {}", socketPath,
                      peer.uid));
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string helperSocketPath(std::string_view machServiceName) {
  return underSystemRoot(fmt::format("/run/{}", machServiceName));
}

std::unique_ptr<HelperConnection> HelperConnection::open(const std::string& socketPath,
                                                         Options options) {
  const int fd = connectTrusted(socketPath);
  if (fd < 0)
    return nullptr;
  return std::unique_ptr<HelperConnection>(new HelperConnection(fd, socketPath, options));
}

HelperConnection::HelperConnection(int fd, std::string socketPath, Options options)
    : mFd(fd), mSocketPath(std::move(socketPath)), mOptions(options) {}

HelperConnection::~HelperConnection() {
  if (mFd >= 0)
    close(mFd);
}

std::optional<std::string> HelperConnection::roundTrip(std::string_view frame) {
  std::lock_guard lock(mMutex);
  bool reconnected = false;
  if (mFd < 0) {
    reconnect();
    reconnected = true;
  }
  Sent sent = mFd < 0 ? Sent::kNothing : send(frame);
  if (sent == Sent::kNothing && !reconnected) {
    close(mFd);
    reconnect();
    sent = mFd < 0 ? Sent::kNothing : send(frame);
  }
  std::optional<std::string> reply = sent == Sent::kAll ? receiveReply() : std::nullopt;
  if (!reply && mFd >= 0) {
    // Whatever the daemon still sends on it could be taken for the next call's reply.
    close(mFd);
    mFd = -1;
  }
  return reply;
}

void HelperConnection::reconnect() {
  mFd = connectTrusted(mSocketPath);
  mReceiveTimeout = {};
}

HelperConnection::Sent HelperConnection::send(std::string_view frame) {
  std::size_t total = 0;
  while (total < frame.size()) {
    const ssize_t sent = ::send(mFd, frame.data() + total, frame.size() - total, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR)
      continue;
    if (sent <= 0)
      return total == 0 ? Sent::kNothing : Sent::kPart;
    total += static_cast<std::size_t>(sent);
  }
  return Sent::kAll;
}

std::optional<std::string> HelperConnection::receiveReply() {
  const auto deadline = Clock::now() + mOptions.replyTimeout;
  char header[wire::kHeaderSize];
  if (!receiveAll(header, sizeof header, deadline))
    return std::nullopt;
  wire::FrameAssembler assembler;
  assembler.append(std::string_view(header, sizeof header));
  const uint32_t length = *assembler.pendingLength();
  if (length > wire::kMaxFrameBody)
    return std::nullopt;
  std::string body(length, '\0');
  if (!receiveAll(body.data(), length, deadline))
    return std::nullopt;
  return body;
}

// A reply usually arrives in one piece: the first read waits with the receive timeout set to
// the whole limit, and only a reply in pieces costs a shorter timeout for the rest.
bool HelperConnection::receiveAll(char* out, std::size_t count, Clock::time_point deadline) {
  while (count > 0) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !waitAtMost(left)) {
      NSLog(fmt::format("ZelHelper got no reply from the helper at {} within {} ms", mSocketPath,
                        mOptions.replyTimeout.count()));
      return false;
    }
    const ssize_t got = recv(mFd, out, count, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
      continue;
    if (got <= 0)
      return false;
    out += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool HelperConnection::waitAtMost(std::chrono::milliseconds timeout) {
  if (timeout == mReceiveTimeout)
    return true;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timeval limit{seconds.count(),
                      static_cast<suseconds_t>((timeout - seconds).count() * 1000)};
  if (setsockopt(mFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
    return false;
  mReceiveTimeout = timeout;
  return true;
}

}  // namespace zel
