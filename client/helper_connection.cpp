// SPDX-License-Identifier: MIT
#include "client/helper_connection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "platform/log.h"
#include "platform/system_root.h"
#include "platform/unique_fd.h"
#include "protocol/wire.h"

namespace zel {
namespace {

using Clock = std::chrono::steady_clock;

// A connection to `socketPath` whose peer runs as root or as this process's effective uid, or
// none.
UniqueFd connectTrusted(const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    NSLog(fmt::format("ZelHelper socket path is too long: {}", socketPath));
    return {};
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd || connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return {};
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
      (peer.uid != 0 && peer.uid != geteuid())) {
    NSLog(fmt::format("ZelHelper refusing the helper at {}: it runs as uid {}", socketPath,
                      peer.uid));
    return {};
  }
  return fd;
}

}  // namespace

std::string helperSocketPath(std::string_view machServiceName) {
  return underSystemRoot(fmt::format("/run/{}", machServiceName));
}

std::unique_ptr<HelperConnection> HelperConnection::open(const std::string& socketPath,
                                                         Options options) {
  UniqueFd fd = connectTrusted(socketPath);
  if (!fd)
    return nullptr;
  return std::unique_ptr<HelperConnection>(
      new HelperConnection(std::move(fd), socketPath, options));
}

HelperConnection::HelperConnection(UniqueFd fd, std::string socketPath, Options options)
    : mFd(std::move(fd)), mSocketPath(std::move(socketPath)), mOptions(options) {}

std::optional<std::string> HelperConnection::roundTrip(std::string_view frame) {
  std::lock_guard lock(mMutex);
  bool reconnected = false;
  if (!mFd) {
    reconnect();
    reconnected = true;
  }
  Sent sent = mFd ? send(frame) : Sent::kNothing;
  if (sent == Sent::kNothing && !reconnected) {
    reconnect();
    sent = mFd ? send(frame) : Sent::kNothing;
  }
  std::optional<std::string> reply = sent == Sent::kAll ? receiveReply() : std::nullopt;
  if (!reply) {
    // Whatever the daemon still sends on it could be taken for the next call's reply.
    mFd.reset();
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
    const ssize_t sent =
        ::send(mFd.get(), frame.data() + total, frame.size() - total, MSG_NOSIGNAL);
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
    const ssize_t got = recv(mFd.get(), out, count, 0);
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
  if (setsockopt(mFd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
    return false;
  mReceiveTimeout = timeout;
  return true;
}

}  // namespace zel
