// SPDX-License-Identifier: MIT
#include "daemon/helper_server.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "daemon/daemon_log.h"
#include "daemon/dispatcher.h"
#include "platform/identity_authority.h"
#include "platform/log.h"
#include "platform/message_ids.h"
#include "platform/socket_activation.h"
#include "protocol/remote_interface.h"

namespace zel {
namespace {

// epoll user data for the two descriptors that are not connections.
constexpr uint64_t kListenId = 0;
constexpr uint64_t kStopId = UINT64_MAX;

std::string describe(const Caller& caller) {
  return fmt::format("pid {} (uid {})", caller.pid, caller.uid);
}

std::optional<Caller> peerOf(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
    return std::nullopt;
  return Caller{credentials.uid, credentials.gid, credentials.pid};
}

bool idle(const wire::FrameAssembler& in, const std::string& out, bool queued) {
  return !in.midFrame() && out.empty() && !queued;
}

// The server itself cannot go on as it should.
void logServerFailure(std::string_view what) {
  systemLog(fmt::format("ZelHelper {}: {}", what, std::strerror(errno)),
            LogEvent{message_id::kServerFailure, LOG_ERR, {}});
}

}  // namespace

HelperServer::HelperServer(int listenFd, ZelHelper& helper, Limits limits)
    : mListenFd(listenFd),
      mEpollFd(epoll_create1(EPOLL_CLOEXEC)),
      mHelper(helper),
      mLimits(limits),
      mLogLimiter(limits.logLines),
      mAuditLimiter(limits.auditLines) {}

void HelperServer::keepAliveEvery(std::chrono::milliseconds interval) {
  mKeepAliveInterval = interval;
  mNextKeepAlive = Clock::now();
}

void HelperServer::keepAlive() {
  if (!mKeepAliveInterval || Clock::now() < mNextKeepAlive)
    return;
  notifyServiceManager(fmt::format("WATCHDOG=1\nSTATUS=Serving {} connection{}; {} call{} served",
                                   mConnections.size(), mConnections.size() == 1 ? "" : "s",
                                   mCallsServed, mCallsServed == 1 ? "" : "s"));
  mNextKeepAlive = Clock::now() + *mKeepAliveInterval;
}

int HelperServer::run(int stopFd) {
  RefusalLimitScope limitedLog(mLogLimiter, &mAuditLimiter);
  // The activator hands the socket over blocking; accepting until EAGAIN needs it not to be.
  fcntl(mListenFd.get(), F_SETFL, fcntl(mListenFd.get(), F_GETFL) | O_NONBLOCK);
  epoll_event listen{EPOLLIN, {.u64 = kListenId}};
  epoll_event stop{EPOLLIN, {.u64 = kStopId}};
  if (!mEpollFd || epoll_ctl(mEpollFd.get(), EPOLL_CTL_ADD, mListenFd.get(), &listen) != 0 ||
      epoll_ctl(mEpollFd.get(), EPOLL_CTL_ADD, stopFd, &stop) != 0) {
    logServerFailure("cannot watch its socket");
    return 1;
  }
  epoll_event events[64];
  for (;;) {
    keepAlive();
    const int timeout = mReady.empty() ? msUntilNextDeadline() : 0;
    const int count = epoll_wait(mEpollFd.get(), events, 64, timeout);
    if (count < 0 && errno != EINTR) {
      logServerFailure("event loop failed");
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
    closeExpired();
    serveQueued();
  }
}

void HelperServer::acceptAll() {
  for (;;) {
    UniqueFd fd(accept4(mListenFd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!fd) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        logServerFailure("cannot accept a connection");
      if (errno == EINTR || errno == ECONNABORTED)
        continue;
      return;
    }
    const std::optional<Caller> caller = peerOf(fd.get());
    if (!caller) {
      logServerFailure("cannot tell who connected");
      continue;
    }
    // Looked up once: the allowance a connection counts against never changes while it lives.
    const Holder holder =
        caller->uid == 0 || IdentityAuthority::localIdentityAuthority().accountOf(caller->uid).entry
            ? Holder{caller->uid}
            : kNoEntry;
    if (!admit(*caller, holder))
      continue;
    const uint64_t id = mNextId++;
    auto connection = std::make_unique<Connection>();
    connection->caller = *caller;
    connection->holder = holder;
    connection->lastActive = Clock::now();
    connection->interest = EPOLLIN;
    epoll_event event{EPOLLIN, {.u64 = id}};
    if (epoll_ctl(mEpollFd.get(), EPOLL_CTL_ADD, fd.get(), &event) != 0) {
      logServerFailure("cannot watch a connection");
      continue;
    }
    connection->fd = std::move(fd);
    mConnections.emplace(id, std::move(connection));
    ++mHeld[holder];
  }
}

void HelperServer::logConnectionLine(const Caller& caller, Holder holder, const std::string& line,
                                     std::string_view messageId, int priority) {
  logRefusalLine(LogChannel::kSystemLog, holder == kNoEntry ? kUidsWithoutUserEntry : caller.uid,
                 line, log_field::callerEvent(caller, messageId, priority));
}

// Makes room for a connection of `caller`, or logs why there is none.
bool HelperServer::admit(const Caller& caller, Holder holder) {
  const std::size_t held = mHeld.contains(holder) ? mHeld.at(holder) : 0;
  if (caller.uid != 0 && held >= mLimits.connectionsPerUid) {
    logConnectionLine(caller, holder,
                      fmt::format("ZelHelper refusing connection of {}: {} already {} {} "
                                  "connections open",
                                  describe(caller),
                                  holder == kNoEntry ? "uids without a user entry"
                                                     : fmt::format("uid {}", caller.uid),
                                  holder == kNoEntry ? "have" : "has", held),
                      message_id::kConnectionLimited, LOG_WARNING);
    return false;
  }
  if (mConnections.size() < mLimits.maxConnections)
    return true;
  const std::optional<uint64_t> victim = evictionCandidate();
  if (!victim) {
    logConnectionLine(caller, holder,
                      fmt::format("ZelHelper refusing connection of {}: {} connections are open "
                                  "and none is idle",
                                  describe(caller), mConnections.size()),
                      message_id::kConnectionLimited, LOG_WARNING);
    return false;
  }
  drop(*victim, fmt::format("idle, closed to make room for {}", describe(caller)),
       message_id::kConnectionLimited, LOG_WARNING);
  return true;
}

// The oldest idle connection of the holder with the most connections among those that have an
// idle one.
std::optional<uint64_t> HelperServer::evictionCandidate() const {
  std::map<Holder, uint64_t> oldestIdle;
  for (const auto& [id, connection] : mConnections) {
    if (!idle(connection->in, connection->out, connection->queued))
      continue;
    auto [found, first] = oldestIdle.try_emplace(connection->holder, id);
    if (!first && connection->lastActive < mConnections.at(found->second)->lastActive)
      found->second = id;
  }
  std::optional<uint64_t> victim;
  std::size_t largest = 0;
  for (const auto& [holder, id] : oldestIdle) {
    const std::size_t held = mHeld.at(holder);
    if (!victim || held > largest ||
        (held == largest &&
         mConnections.at(id)->lastActive < mConnections.at(*victim)->lastActive)) {
      victim = id;
      largest = held;
    }
  }
  return victim;
}

void HelperServer::onEvent(uint64_t id, uint32_t events) {
  auto found = mConnections.find(id);
  if (found == mConnections.end())
    return;
  Connection& connection = *found->second;
  if (events & EPOLLERR) {
    drop(id);
    return;
  }
  if ((events & EPOLLOUT) && !flush(connection)) {
    drop(id);
    return;
  }
  if (events & EPOLLIN) {
    if (!receive(connection)) {
      drop(id);
      return;
    }
  } else if (events & EPOLLHUP) {
    connection.peerClosed = true;
  }
  settle(id);
}

bool HelperServer::receive(Connection& connection) {
  char buffer[16 * 1024];
  const ssize_t count = recv(connection.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (count > 0) {
    const auto now = Clock::now();
    if (!connection.in.midFrame())
      connection.frameStarted = now;
    connection.in.append(std::string_view(buffer, static_cast<std::size_t>(count)));
    connection.lastActive = now;
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
    const ssize_t sent = send(connection.fd.get(), connection.out.data(), connection.out.size(),
                              MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0)
      return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    connection.out.erase(0, static_cast<std::size_t>(sent));
    connection.lastActive = Clock::now();
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
    drop(id, fmt::format("frame of {} bytes exceeds {}", *length, wire::kMaxFrameBody),
         message_id::kConnectionMalformed, LOG_WARNING);
    return;
  }
  const bool complete = connection.in.hasCompleteFrame();
  if (connection.peerClosed && !complete && connection.out.empty()) {
    drop(id);
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
    epoll_ctl(mEpollFd.get(), EPOLL_CTL_MOD, connection.fd.get(), &event);
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
    drop(id, problem, message_id::kConnectionMalformed, LOG_WARNING);
    return;
  }
  connection.out += dispatchCall(mHelper, *call, connection.caller, connection.lastReason);
  ++mCallsServed;
  // A pipelined frame's time starts when the daemon turns to it.
  connection.lastActive = connection.frameStarted = Clock::now();
  if (!flush(connection)) {
    drop(id, fmt::format("caller left before the reply to {}", remote::nameOf(*call)),
         message_id::kConnectionMalformed, LOG_INFO);
    return;
  }
  settle(id);
}

// When `connection` is to be closed unless something happens first. A connection with a call
// queued has no deadline: the daemon owes it an answer.
std::optional<HelperServer::Deadline> HelperServer::deadlineOf(const Connection& connection) const {
  if (connection.queued)
    return std::nullopt;
  if (connection.in.midFrame() && !connection.in.hasCompleteFrame() && connection.out.empty())
    return Deadline{connection.frameStarted + mLimits.frameTimeout, true};
  return Deadline{connection.lastActive + mLimits.idleTimeout, false};
}

int HelperServer::msUntilNextDeadline() {
  std::optional<Clock::time_point> next = mLogLimiter.logDueSummaries();
  if (mKeepAliveInterval && (!next || mNextKeepAlive < *next))
    next = mNextKeepAlive;
  if (auto audits = mAuditLimiter.logDueSummaries(); audits && (!next || *audits < *next))
    next = audits;
  for (const auto& [id, connection] : mConnections) {
    if (auto deadline = deadlineOf(*connection); deadline && (!next || deadline->at < *next))
      next = deadline->at;
  }
  if (!next)
    return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX));
}

void HelperServer::closeExpired() {
  const auto now = Clock::now();
  std::vector<std::pair<uint64_t, bool>> expired;
  for (const auto& [id, connection] : mConnections) {
    auto deadline = deadlineOf(*connection);
    if (!deadline || now < deadline->at)
      continue;
    // A call that arrived since epoll_wait returned is served, not cut off: its client could
    // not tell whether it was.
    char next;
    if (!deadline->midFrame && connection->out.empty() &&
        recv(connection->fd.get(), &next, 1, MSG_PEEK | MSG_DONTWAIT) == 1)
      continue;
    expired.emplace_back(id, deadline->midFrame);
  }
  // A frame that never completes is a client at fault; an idle connection is ordinary.
  for (const auto& [id, midFrame] : expired) {
    if (midFrame)
      drop(id,
           fmt::format("frame not complete within {} ms of its first byte",
                       mLimits.frameTimeout.count()),
           message_id::kConnectionLimited, LOG_WARNING);
    else
      drop(id, fmt::format("idle for {} ms", mLimits.idleTimeout.count()),
           message_id::kConnectionLimited, LOG_INFO);
  }
}

void HelperServer::drop(uint64_t id, const std::string& reason, std::string_view messageId,
                        int priority) {
  auto found = mConnections.find(id);
  if (found == mConnections.end())
    return;
  const Connection& connection = *found->second;
  if (!reason.empty())
    logConnectionLine(
        connection.caller, connection.holder,
        fmt::format("ZelHelper closing connection of {}: {}", describe(connection.caller), reason),
        messageId, priority);
  if (--mHeld.at(connection.holder) == 0)
    mHeld.erase(connection.holder);
  mConnections.erase(found);
}

}  // namespace zel
