// SPDX-License-Identifier: MIT
// Socket activation without libsystemd: which descriptor the daemon takes, what it closes, and
// that it leaves another process's sockets alone. Each case runs in a forked child, whose
// descriptors 3, 4, ... are set up as the service manager would hand them over.
#include "platform/socket_activation.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace zel {
namespace {

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

// In the child: whether sockets count as passed, the taken descriptor, then for 3, 4, ... whether
// each is still open, then whether the three variables were removed, as one line on `report`.
[[noreturn]] void runCase(const Case& c, int report) {
  for (std::size_t i = 0; i < c.handed.size(); ++i) {
    const int fd = makeSocket(c.handed[i]);
    dup2(fd, 3 + static_cast<int>(i));
    if (fd != 3 + static_cast<int>(i))
      close(fd);
  }
  setenv("LISTEN_FDS", std::to_string(c.handed.size()).c_str(), 1);
  setenv("LISTEN_PID", std::to_string(c.ownPid ? getpid() : getppid()).c_str(), 1);
  if (c.names != nullptr)
    setenv("LISTEN_FDNAMES", c.names, 1);
  std::string line = socketsWerePassed() ? "passed " : "none ";
  const auto taken = takeListeningSocket("net.zel.client-Helper.mach");
  line += std::to_string(taken.value_or(-1));
  for (std::size_t i = 0; i < c.handed.size(); ++i)
    line += fcntl(3 + static_cast<int>(i), F_GETFD) == -1 ? " closed" : " open";
  const bool cleared = !getenv("LISTEN_FDS") && !getenv("LISTEN_PID") && !getenv("LISTEN_FDNAMES");
  line += cleared ? " cleared" : " kept";
  write(report, line.data(), line.size());
  _exit(0);
}

TEST_P(TakeListeningSocket, TakesOnlyTheNamedListeningUnixStream) {
  const Case& c = GetParam();
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  // Far above the descriptors the child sets up.
  ASSERT_EQ(dup2(pipeFds[1], 100), 100);
  close(pipeFds[1]);
  const pid_t pid = fork();
  if (pid == 0)
    runCase(c, 100);
  close(100);
  std::string line(256, '\0');
  line.resize(std::max<ssize_t>(0, read(pipeFds[0], line.data(), line.size())));
  close(pipeFds[0]);
  waitpid(pid, nullptr, 0);

  std::string expected = c.ownPid && !c.handed.empty() ? "passed " : "none ";
  expected += std::to_string(c.expectedFd);
  for (std::size_t i = 0; i < c.handed.size(); ++i) {
    const bool taken = 3 + static_cast<int>(i) == c.expectedFd;
    expected += !taken && c.othersClosed ? " closed" : " open";
  }
  expected += " cleared";
  EXPECT_EQ(line, expected);
}

constexpr const char* kName = "net.zel.client-Helper.mach";

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
  const std::string path =
      (std::filesystem::temp_directory_path() / ("zel-notify-" + std::to_string(getpid())))
          .string();
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
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace zel
