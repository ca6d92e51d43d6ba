// One connection to the helper daemon's socket: the stand-in for the connection a client
// looks up by the Mach service name. Calls are blocking request/reply round trips; a mutex
// serialises them, so the connection may be shared between threads.
//
// Once a round trip fails (the daemon closed the connection, died, or sent a malformed reply)
// the connection is broken for good and every later round trip fails at once.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace zel {

// Where the service named `machServiceName` listens: <root>/run/<name>.
std::string helperSocketPath(std::string_view machServiceName);

class HelperConnection {
 public:
  // Connects to `socketPath`. Before anything is sent the peer must prove (SO_PEERCRED) that
  // it runs as root or as this process's own effective uid; an impostor is logged and
  // refused. nullptr when nothing trustworthy answers there.
  static std::unique_ptr<HelperConnection> open(const std::string& socketPath);
  ~HelperConnection();
  HelperConnection(const HelperConnection&) = delete;
  HelperConnection& operator=(const HelperConnection&) = delete;

  // Sends one call frame and waits for the reply; the reply body, or nullopt when broken.
  std::optional<std::string> roundTrip(std::string_view frame);
  bool broken() const;

 private:
  explicit HelperConnection(int fd) : mFd(fd) {}
  std::optional<std::string> exchange(std::string_view frame);

  mutable std::mutex mMutex;
  int mFd;  // -1 once broken
};

}  // namespace zel
