// SPDX-License-Identifier: MIT
// Socket activation without libsystemd: which descriptor the daemon takes, what it closes, and
// that it leaves another process's sockets alone.
#include "platform/socket_activation.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

constexpr const char* kName = "net.zel.client-Helper.mach";

enum class Kind { kListeningUnixStream, kConnectedUnixStream, kUnixDatagram };

int makeSocket(Kind kind) {
  if (kind == Kind::kUnixDatagram)
    return socket(AF_UNIX, SOCK_DGRAM, 0);
  int pair[2];
  socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
  if (kind == Kind::kConnectedUnixStream)
    return pair[0];
  close(pair[0]);
  close(pair[1]);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;  // autobind: a unique abstract address
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(sa_family_t));
  listen(fd, 1);
  return fd;
}

struct Case {
  const char* what;  // the test name
  std::vector<Kind> handed;
  const char* names;  // LISTEN_FDNAMES, or nullptr
  bool ownPid;        // LISTEN_PID names the child itself
  int expectedFd;     // -1: none taken
  bool othersClosed;  // the descriptors not taken are closed
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.what;
}

class TakeListeningSocket : public testing::TestWithParam<Case> {};

// In a child: hands the sockets over as descriptors 3, 4, ..., takes the named one, and checks
// what was taken, what is still open and that the variables are gone. 0 when all held.
int handOverAndTake(const Case& c, pid_t parent) {
  const int end = 3 + static_cast<int>(c.handed.size());
  for (int fd = 3; fd < end; ++fd) {
    const int made = makeSocket(c.handed[fd - 3]);
    if (made != fd) {
      dup2(made, fd);
      close(made);
    }
  }
  setenv("LISTEN_FDS", std::to_string(c.handed.size()).c_str(), 1);
  setenv("LISTEN_PID", std::to_string(c.ownPid ? getpid() : parent).c_str(), 1);
  if (c.names != nullptr)
    setenv("LISTEN_FDNAMES", c.names, 1);
  EXPECT_EQ(socketsWerePassed(), c.ownPid && !c.handed.empty());
  EXPECT_EQ(takeListeningSocket(kName).value_or(-1), c.expectedFd);
  for (int fd = 3; fd < end; ++fd)
    EXPECT_EQ(fcntl(fd, F_GETFD) != -1, fd == c.expectedFd || !c.othersClosed) << fd;
  EXPECT_FALSE(getenv("LISTEN_FDS") || getenv("LISTEN_PID") || getenv("LISTEN_FDNAMES"));
  return testing::Test::HasFailure() ? 1 : 0;
}

TEST_P(TakeListeningSocket, TakesOnlyTheNamedListeningUnixStream) {
  const Case& c = GetParam();
  const pid_t parent = getpid();
  EXPECT_EQ(test::runAs(test::kAlice, [&c, parent] { return handOverAndTake(c, parent); }), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TakeListeningSocket,
    testing::Values(
        Case{"TheOneSocket", {Kind::kListeningUnixStream}, kName, true, 3, true},
        Case{"TheNamedOneOfThree",
             {Kind::kListeningUnixStream, Kind::kListeningUnixStream, Kind::kUnixDatagram},
             "other:net.zel.client-Helper.mach:third",
             true,
             4,
             true},
        Case{"ASocketOfAnotherName", {Kind::kListeningUnixStream}, "other", true, -1, true},
        Case{"NoNamesAtAll", {Kind::kListeningUnixStream}, nullptr, true, -1, true},
        Case{"FewerNamesThanSockets",
             {Kind::kListeningUnixStream, Kind::kListeningUnixStream},
             "other",
             true,
             -1,
             true},
        Case{"TheNameOnADatagramSocket", {Kind::kUnixDatagram}, kName, true, -1, true},
        Case{"TheNameOnASocketThatDoesNotListen",
             {Kind::kConnectedUnixStream},
             kName,
             true,
             -1,
             true},
        Case{"NoSockets", {}, kName, true, -1, true},
        Case{"SocketsHandedToAnotherProcess",
             {Kind::kListeningUnixStream},
             kName,
             false,
             -1,
             false}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });

TEST(NotifyServiceManager, SendsTheStateToAPathOrAnAbstractSocket) {
  // In a directory of its own: a fixed name, even one made from the pid, can be left behind by a
  // run that was killed and then be found again by a later process that was given the same pid.
  const test::SandboxRoot root;
  const std::string path = root.at("notify");
  for (const std::string& name : {path, "@" + path}) {
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    name.copy(address.sun_path, name.size());
    if (name[0] == '@')
      address.sun_path[0] = '\0';
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address),
                   offsetof(sockaddr_un, sun_path) + name.size()),
              0)
        << name;
    setenv("NOTIFY_SOCKET", name.c_str(), 1);
    notifyServiceManager("READY=1");
    char received[16] = {};
    EXPECT_EQ(recv(fd, received, sizeof received, MSG_DONTWAIT), 7) << name;
    EXPECT_STREQ(received, "READY=1") << name;
    close(fd);
  }
  unsetenv("NOTIFY_SOCKET");
}

}  // namespace
}  // namespace zel
