// SPDX-License-Identifier: MIT
#include "platform/socket_activation.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace zel {
namespace {

constexpr int kFirstListenFd = 3;

std::optional<long> numberFromEnvironment(const char* variable) {
  const char* text = std::getenv(variable);
  if (text == nullptr)
    return std::nullopt;
  const char* end = text + std::strlen(text);
  long value = 0;
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || stop == text || value < 0)
    return std::nullopt;
  return value;
}

std::vector<std::string> namesFromEnvironment() {
  std::vector<std::string> names;
  const char* text = std::getenv("LISTEN_FDNAMES");
  if (text == nullptr)
    return names;
  std::string_view rest = text;
  for (auto colon = rest.find(':'); colon != std::string_view::npos; colon = rest.find(':')) {
    names.emplace_back(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);
  }
  names.emplace_back(rest);
  return names;
}

int socketOption(int fd, int option) {
  int value = -1;
  socklen_t length = sizeof value;
  if (getsockopt(fd, SOL_SOCKET, option, &value, &length) != 0)
    return -1;
  return value;
}

bool isListeningUnixStream(int fd) {
  return socketOption(fd, SO_DOMAIN) == AF_UNIX && socketOption(fd, SO_TYPE) == SOCK_STREAM &&
         socketOption(fd, SO_ACCEPTCONN) == 1;
}

}  // namespace

std::optional<int> takeListeningSocket(std::string_view name) {
  const auto pid = numberFromEnvironment("LISTEN_PID");
  const auto count = numberFromEnvironment("LISTEN_FDS");
  const std::vector<std::string> names = namesFromEnvironment();
  unsetenv("LISTEN_PID");
  unsetenv("LISTEN_FDS");
  unsetenv("LISTEN_FDNAMES");
  if (!pid || *pid != getpid() || !count)
    return std::nullopt;

  std::optional<int> chosen;
  for (long i = 0; i < *count; ++i) {
    const int fd = kFirstListenFd + static_cast<int>(i);
    const bool wanted = !chosen && static_cast<std::size_t>(i) < names.size() && names[i] == name &&
                        isListeningUnixStream(fd);
    if (wanted) {
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      chosen = fd;
    } else {
      UniqueFd(fd).reset();
    }
  }
  return chosen;
}

bool socketsWerePassed() {
  const auto pid = numberFromEnvironment("LISTEN_PID");
  const auto count = numberFromEnvironment("LISTEN_FDS");
  return pid && *pid == getpid() && count && *count >= 1;
}

void notifyServiceManager(std::string_view state) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0')
    return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t length = std::strlen(path);
  if (length >= sizeof address.sun_path)
    return;
  std::memcpy(address.sun_path, path, length);
  if (address.sun_path[0] == '@')
    address.sun_path[0] = '\0';  // an abstract socket
  const UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd)
    return;
  sendto(fd.get(), state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
         static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
}

std::optional<std::chrono::microseconds> watchdogTimeout() {
  const auto pid = numberFromEnvironment("WATCHDOG_PID");
  const auto usec = numberFromEnvironment("WATCHDOG_USEC");
  if ((std::getenv("WATCHDOG_PID") != nullptr && (!pid || *pid != getpid())) || !usec || *usec == 0)
    return std::nullopt;
  return std::chrono::microseconds(*usec);
}

}  // namespace zel
