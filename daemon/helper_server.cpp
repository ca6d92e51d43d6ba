#include "daemon/helper_server.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "daemon/dispatcher.h"
#include "daemon/remote_interface.h"
#include "platform/log.h"

namespace zel {
namespace {

using Clock = std::chrono::steady_clock;

// epoll user data for the two descriptors that are not connections.
constexpr uint64_t kListenId = 0;
constexpr uint64_t kStopId = UINT64_MAX;

std::string describe(const Caller& caller) {
  return fmt::format("pid {} (uid {})", caller.pid, caller.uid);
}

Caller peerOf(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
    return Caller{static_cast<uid_t>(-1), static_cast<gid_t>(-1), 0};
  return Caller{credentials.uid, credentials.gid, credentials.pid};
}

// Only a connection the daemon is reading from can be silent; one whose reply is still unsent
// is waiting for its client to read.
bool awaitingRestOfFrame(const wire::FrameAssembler& in, const std::string& out) {
  return in.midFrame() && !in.hasCompleteFrame() && out.empty();
}

}  // namespace

HelperServer::HelperServer(int listenFd, ZelHelper& helper, Limits limits)
    : mListenFd(listenFd),
      mEpollFd(epoll_create1(EPOLL_CLOEXEC)),
      mHelper(helper),
      mLimits(limits) {}

HelperServer::~HelperServer() {
  for (auto& [id, connection] : mConnections)
    close(connection->fd);
  close(mEpollFd);
  close(mListenFd);
}

int HelperServer::run(int stopFd) {
  // The activator hands the socket over blocking; accepting until EAGAIN needs it not to be.
  fcntl(mListenFd, F_SETFL, fcntl(mListenFd, F_GETFL) | O_NONBLOCK);
  epoll_event listen{EPOLLIN, {.u64 = kListenId}};
  epoll_event stop{EPOLLIN, {.u64 = kStopId}};
  if (mEpollFd < 0 || epoll_ctl(mEpollFd, EPOLL_CTL_ADD, mListenFd, &listen) != 0 ||
      epoll_ctl(mEpollFd, EPOLL_CTL_ADD, stopFd, &stop) != 0) {
    systemLog(fmt::format("ZelHelper cannot watch its socket: {}", std::strerror(errno)));
    return 1;
  }
  epoll_event events[64];
  for (;;) {
    const int timeout = mReady.empty() ? msUntilNextDeadline() : 0;
    const int count = epoll_wait(mEpollFd, events, 64, timeout);
    if (count < 0 && errno != EINTR) {
      systemLog(fmt::format("ZelHelper event loop failed: {}", std::strerror(errno)));
      return 1;
    }
    for (int i = 0; i < count; ++i) {
      if (events[i].data.u64 == kStopId)
        return 0;
      if (events[i].data.u64 == kListenId)
        acceptAll();
      else
        onEvent(events[i].data.u64, events[i].events);
    }
    closeSilent();
    serveQueued();
  }
}

void HelperServer::acceptAll() {
  for (;;) {
    const int fd = accept4(mListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        systemLog(fmt::format("ZelHelper cannot accept a connection: {}", std::strerror(errno)));
      if (errno == EINTR || errno == ECONNABORTED)
        continue;
      return;
    }
    const Caller caller = peerOf(fd);
    if (mConnections.size() >= mLimits.maxConnections) {
      systemLog(fmt::format("ZelHelper refusing connection of {}: {} connections are open",
                            describe(caller), mConnections.size()));
      close(fd);
      continue;
    }
    const uint64_t id = mNextId++;
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->caller = caller;
    connection->interest = EPOLLIN;
    epoll_event event{EPOLLIN, {.u64 = id}};
    if (epoll_ctl(mEpollFd, EPOLL_CTL_ADD, fd, &event) != 0) {
      systemLog(fmt::format("ZelHelper cannot watch a connection: {}", std::strerror(errno)));
      close(fd);
      continue;
    }
    mConnections.emplace(id, std::move(connection));
  }
}

void HelperServer::onEvent(uint64_t id, uint32_t events) {
  auto found = mConnections.find(id);
  if (found == mConnections.end())
    return;
  Connection& connection = *found->second;
  if (events & EPOLLERR) {
    drop(id, "");
    return;
  }
  if ((events & EPOLLOUT) && !flush(connection)) {
    drop(id, "");
    return;
  }
  if (events & EPOLLIN) {
    if (!receive(connection)) {
      drop(id, "");
      return;
    }
  } else if (events & EPOLLHUP) {
    connection.peerClosed = true;
  }
  settle(id);
}

bool HelperServer::receive(Connection& connection) {
  char buffer[16 * 1024];
  const ssize_t count = recv(connection.fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (count > 0) {
    connection.in.append(std::string_view(buffer, static_cast<std::size_t>(count)));
    connection.lastReceived = Clock::now();
    return true;
  }
  if (count == 0) {
    connection.peerClosed = true;
    return true;
  }
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

bool HelperServer::flush(Connection& connection) {
  while (!connection.out.empty()) {
    const ssize_t sent = send(connection.fd, connection.out.data(), connection.out.size(),
                              MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0)
      return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    connection.out.erase(0, static_cast<std::size_t>(sent));
  }
  return true;
}

// Closes a connection that has sent an oversized header or has left with nothing more to
// serve; otherwise queues its complete frame and chooses what to wait for. Reads only while
// nothing is waiting to be served or sent, so a client that floods calls or does not read its
// replies holds at most one frame and its reply in the daemon.
void HelperServer::settle(uint64_t id) {
  Connection& connection = *mConnections.at(id);
  if (auto length = connection.in.pendingLength(); length && *length > wire::kMaxFrameBody) {
    drop(id, fmt::format("frame of {} bytes exceeds {}", *length, wire::kMaxFrameBody));
    return;
  }
  const bool complete = connection.in.hasCompleteFrame();
  if (connection.peerClosed && !complete && connection.out.empty()) {
    drop(id, "");
    return;
  }
  if (complete && connection.out.empty() && !connection.queued) {
    connection.queued = true;
    mReady.push_back(id);
  }
  uint32_t interest = 0;
  if (!connection.out.empty())
    interest = EPOLLOUT;
  else if (!complete && !connection.peerClosed)
    interest = EPOLLIN;
  if (interest != connection.interest) {
    epoll_event event{interest, {.u64 = id}};
    epoll_ctl(mEpollFd, EPOLL_CTL_MOD, connection.fd, &event);
    connection.interest = interest;
  }
}

void HelperServer::serveQueued() {
  // One call per waiting connection per round, in arrival order; calls queued during the
  // round wait for the next, so no client can starve the others.
  for (std::size_t round = mReady.size(); round > 0; --round) {
    const uint64_t id = mReady.front();
    mReady.pop_front();
    serveOne(id);
  }
}

void HelperServer::serveOne(uint64_t id) {
  auto found = mConnections.find(id);
  if (found == mConnections.end())
    return;
  Connection& connection = *found->second;
  connection.queued = false;
  std::string body;
  if (connection.in.next(body) != wire::FrameAssembler::Status::kComplete) {
    settle(id);
    return;
  }
  std::string problem;
  auto call = remote::decodeCall(body, problem);
  if (!call) {
    drop(id, problem);
    return;
  }
  connection.out += dispatchCall(mHelper, *call, connection.caller, connection.lastReason);
  if (!flush(connection)) {
    drop(id, fmt::format("caller left before the reply to {}", remote::nameOf(*call)));
    return;
  }
  settle(id);
}

int HelperServer::msUntilNextDeadline() const {
  int timeout = -1;
  const auto now = Clock::now();
  for (const auto& [id, connection] : mConnections) {
    if (!awaitingRestOfFrame(connection->in, connection->out))
      continue;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(connection->lastReceived +
                                                                   mLimits.frameTimeout - now);
    const int ms = left.count() < 0 ? 0 : static_cast<int>(left.count());
    if (timeout < 0 || ms < timeout)
      timeout = ms;
  }
  return timeout;
}

void HelperServer::closeSilent() {
  const auto now = Clock::now();
  std::vector<uint64_t> expired;
  for (const auto& [id, connection] : mConnections) {
    if (awaitingRestOfFrame(connection->in, connection->out) &&
        now - connection->lastReceived >= mLimits.frameTimeout)
      expired.push_back(id);
  }
  for (uint64_t id : expired)
    drop(id,
         fmt::format("silent for {} ms in the middle of a frame", mLimits.frameTimeout.count()));
}

void HelperServer::drop(uint64_t id, const std::string& reason) {
  auto found = mConnections.find(id);
  if (found == mConnections.end())
    return;
  if (!reason.empty())
    systemLog(fmt::format("ZelHelper closing connection of {}: {}", describe(found->second->caller),
                          reason));
  close(found->second->fd);
  mConnections.erase(found);
}

}  // namespace zel
