// SPDX-License-Identifier: MIT
#include "tests/protocol/raw_client.h"

#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zel::test {
namespace {

sockaddr_un addressOf(const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  return address;
}

UniqueFd connectTo(const std::string& socketPath) {
  const sockaddr_un address = addressOf(socketPath);
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    fd.reset();
  return fd;
}

}  // namespace

int listenAt(const std::string& socketPath) {
  const sockaddr_un address = addressOf(socketPath);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      chmod(socketPath.c_str(), 0666) != 0 || listen(fd, 64) != 0)
    throw std::runtime_error("cannot listen on " + socketPath);
  return fd;
}

RawClient::RawClient(const std::string& socketPath) : mFd(connectTo(socketPath)) {}

// The kernel records the effective uid at connect; the raw system call changes it for this
// thread alone (the libc wrapper would change every thread's).
RawClient::RawClient(const std::string& socketPath, const SandboxUser& user) {
  if (syscall(SYS_setresuid, -1, user.uid, -1) != 0)
    return;
  mFd = connectTo(socketPath);
  syscall(SYS_setresuid, -1, 0, -1);
}

bool RawClient::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = ::send(mFd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent <= 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

bool RawClient::receive(std::chrono::milliseconds timeout) {
  pollfd waiting{mFd.get(), POLLIN, 0};
  if (poll(&waiting, 1, static_cast<int>(std::max<long>(timeout.count(), 0))) != 1)
    return false;
  char buffer[4096];
  const ssize_t got = recv(mFd.get(), buffer, sizeof buffer, 0);
  mClosed = got == 0 || (got < 0 && errno == ECONNRESET);
  if (got > 0)
    mIn.append(std::string_view(buffer, static_cast<std::size_t>(got)));
  return got > 0;
}

std::optional<std::string> RawClient::reply(std::chrono::milliseconds timeout) {
  std::string body;
  while (mIn.next(body) != wire::FrameAssembler::Status::kComplete) {
    if (!receive(timeout))
      return std::nullopt;
  }
  return body;
}

bool RawClient::closedByDaemon(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (receive(std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now()))) {
  }
  return mClosed;
}

std::string le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
  return bytes;
}

std::string str(std::string_view text) {
  return le32(static_cast<uint32_t>(text.size())) + std::string(text);
}

}  // namespace zel::test
