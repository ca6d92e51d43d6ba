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

bool sendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR)
      continue;
    if (sent <= 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool receiveAll(int fd, char* out, std::size_t count) {
  while (count > 0) {
    const ssize_t got = recv(fd, out, count, 0);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return false;
    out += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

std::string helperSocketPath(std::string_view machServiceName) {
  return underSystemRoot(fmt::format("/run/{}", machServiceName));
}

std::unique_ptr<HelperConnection> HelperConnection::open(const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    NSLog(fmt::format("ZelHelper socket path is too long: {}", socketPath));
    return nullptr;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return nullptr;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return nullptr;
  }
  ucred peer{};
  socklen_t length = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
      (peer.uid != 0 && peer.uid != geteuid())) {
    NSLog(fmt::format("ZelHelper refusing the helper at {}: it runs as uid {}", socketPath,
                      peer.uid));
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<HelperConnection>(new HelperConnection(fd));
}

HelperConnection::~HelperConnection() {
  if (mFd >= 0)
    close(mFd);
}

std::optional<std::string> HelperConnection::roundTrip(std::string_view frame) {
  std::lock_guard lock(mMutex);
  if (mFd < 0)
    return std::nullopt;
  auto reply = exchange(frame);
  if (!reply) {
    close(mFd);
    mFd = -1;
  }
  return reply;
}

std::optional<std::string> HelperConnection::exchange(std::string_view frame) {
  if (!sendAll(mFd, frame))
    return std::nullopt;
  char header[wire::kHeaderSize];
  if (!receiveAll(mFd, header, sizeof header))
    return std::nullopt;
  wire::FrameAssembler assembler;
  assembler.append(std::string_view(header, sizeof header));
  const uint32_t length = *assembler.pendingLength();
  if (length > wire::kMaxFrameBody)
    return std::nullopt;
  std::string body(length, '\0');
  if (!receiveAll(mFd, body.data(), length))
    return std::nullopt;
  return body;
}

bool HelperConnection::broken() const {
  std::lock_guard lock(mMutex);
  return mFd < 0;
}

}  // namespace zel
