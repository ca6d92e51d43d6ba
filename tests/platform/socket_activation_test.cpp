// SPDX-License-Identifier: MIT
// Socket activation without libsystemd: which descriptor the daemon takes, what it closes, and
// that it leaves another process's sockets alone. (Telling systemd the daemon is ready runs in
// the system test, where the service is Type=notify.)
#include "platform/socket_activation.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

constexpr const char* kName = "net.zel.client-Helper.mach";

// 'L' a listening Unix stream socket, 'S' one that does not listen, 'D' a Unix datagram socket.
int makeSocket(char kind) {
  const int fd = socket(AF_UNIX, kind == 'D' ? SOCK_DGRAM : SOCK_STREAM, 0);
  if (kind == 'L') {
    sockaddr_un address{AF_UNIX, {}};  // autobind: a unique abstract address
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(sa_family_t));
    listen(fd, 1);
  }
  return fd;
}

struct Case {
  const char* name;
  std::string handed;  // the sockets handed over as descriptors 3, 4, ...
  const char* names;   // LISTEN_FDNAMES, or nullptr
  bool ownPid;         // LISTEN_PID names the child itself; else the descriptors are left alone
  int expectedFd;      // -1: none taken
};

class TakeListeningSocket : public testing::TestWithParam<Case> {};

// In a child: hands the sockets over, takes the named one, and checks what was taken, what is
// still open and that the variables are gone.
TEST_P(TakeListeningSocket, TakesOnlyTheNamedListeningUnixStream) {
  const Case& c = GetParam();
  const pid_t parent = getpid();
  const auto handOverAndTake = [&] {
    const int end = 3 + static_cast<int>(c.handed.size());
    for (int fd = 3; fd < end; ++fd)
      if (const int made = makeSocket(c.handed[fd - 3]); made != fd && dup2(made, fd) == fd)
        close(made);
    setenv("LISTEN_FDS", std::to_string(c.handed.size()).c_str(), 1);
    setenv("LISTEN_PID", std::to_string(c.ownPid ? getpid() : parent).c_str(), 1);
    if (c.names != nullptr)
      setenv("LISTEN_FDNAMES", c.names, 1);
    EXPECT_EQ(socketsWerePassed(), c.ownPid && !c.handed.empty());
    EXPECT_EQ(takeListeningSocket(kName).value_or(-1), c.expectedFd);
    for (int fd = 3; fd < end; ++fd)
      EXPECT_EQ(fcntl(fd, F_GETFD) != -1, fd == c.expectedFd || !c.ownPid) << fd;
    EXPECT_FALSE(getenv("LISTEN_FDS") || getenv("LISTEN_PID") || getenv("LISTEN_FDNAMES"));
    return testing::Test::HasFailure() ? 1 : 0;
  };
  EXPECT_EQ(test::runAs(test::kAlice, handOverAndTake), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TakeListeningSocket,
    testing::Values(Case{"TheOneSocket", "L", kName, true, 3},
                    Case{"TheNamedOneOfThree", "LLD", "other:net.zel.client-Helper.mach:x", true,
                         4},
                    Case{"ASocketOfAnotherName", "L", "other", true, -1},
                    Case{"FewerNamesThanSockets", "LL", "other", true, -1},
                    Case{"TheNameOnADatagramSocket", "D", kName, true, -1},
                    Case{"TheNameOnASocketThatDoesNotListen", "S", kName, true, -1},
                    Case{"NoSockets", "", kName, true, -1},
                    Case{"SocketsHandedToAnotherProcess", "L", kName, false, -1}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel
