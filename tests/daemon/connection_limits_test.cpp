// How the server rations connections: an in-process server with small limits, and callers
// that connect as other uids.
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "daemon/helper_server.h"
#include "platform/log.h"
#include "tests/daemon/raw_client.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

const std::string kVersionCall = frame("\x01");
constexpr SandboxUser kRoot{"root", 0, 0};
// A container's subordinate ids: no user entry.
constexpr SandboxUser kSub1{"", 100001, 0}, kSub2{"", 100002, 0}, kSub3{"", 100003, 0};

// Four connections in all, two per uid.
HelperServer::Limits smallLimits(std::chrono::milliseconds frame, std::chrono::milliseconds idle) {
  HelperServer::Limits limits;
  limits.maxConnections = 4;
  limits.connectionsPerUid = 2;
  limits.frameTimeout = frame;
  limits.idleTimeout = idle;
  return limits;
}

class ConnectionLimits : public ::testing::Test {
 protected:
  void serve(HelperServer::Limits limits) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, mSocketPath.c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(chmod(mSocketPath.c_str(), 0666) | listen(fd, 64), 0);
    mServer = std::make_unique<HelperServer>(fd, mHelper, limits);
    mThread = std::thread([this] { mServer->run(mStop); });
  }
  void TearDown() override {
    eventfd_write(mStop, 1);
    if (mThread.joinable())
      mThread.join();
    close(mStop);
  }
  std::ptrdiff_t logged(std::string_view text) const {
    const auto lines = mLog.lines();
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    });
  }

  SandboxRoot mRoot;
  LogCapture mLog{LogChannel::kSystemLog};
  std::string mSocketPath = mRoot.at("helper.sock");
  int mStop = eventfd(0, EFD_CLOEXEC);
  ZelHelper mHelper;
  std::unique_ptr<HelperServer> mServer;
  std::thread mThread;
};

struct Opening {
  SandboxUser caller;
  bool busy = false;  // left in the middle of a frame once served
};

struct Admission {
  const char* name;
  std::vector<Opening> openings;
  // For each opening: 'S' served to the end, 'R' refused, 'E' served, then closed to make room.
  std::string outcomes;
};

void PrintTo(const Admission& admission, std::ostream* out) {
  *out << admission.name;
}

class ConnectionAdmission : public ConnectionLimits,
                            public ::testing::WithParamInterface<Admission> {};

TEST_P(ConnectionAdmission, FollowsTheAllowances) {
  serve(smallLimits(1min, 1min));
  const std::vector<Opening>& openings = GetParam().openings;
  std::string outcomes;
  std::vector<std::unique_ptr<RawClient>> clients;
  for (const Opening& opening : openings) {
    clients.push_back(std::make_unique<RawClient>(mSocketPath, opening.caller));
    // One at a time, so the server takes them in order.
    const bool answered = clients.back()->send(kVersionCall) && clients.back()->reply() == le32(3);
    outcomes += answered ? 'S' : 'R';
    if (answered && opening.busy)
      clients.back()->send(kVersionCall.substr(0, 2));
  }
  for (std::size_t i = 0; i < clients.size(); ++i) {
    const std::string rest = openings[i].busy ? kVersionCall.substr(2) : kVersionCall;
    if (outcomes[i] == 'S' && (!clients[i]->send(rest) || clients[i]->reply() != le32(3)))
      outcomes[i] = 'E';
  }
  EXPECT_EQ(outcomes, GetParam().outcomes);
  EXPECT_EQ(logged("refusing connection of"), std::ranges::count(outcomes, 'R'));
  EXPECT_EQ(logged("closed to make room"), std::ranges::count(outcomes, 'E'));
}

INSTANTIATE_TEST_SUITE_P(
    Callers, ConnectionAdmission,
    ::testing::Values(
        Admission{"EachUidHasItsOwnAllowance", {{kAlice}, {kAlice}, {kAlice}, {kBob}}, "SSRS"},
        Admission{"UidsWithoutAnEntryShareOne", {{kSub1}, {kSub2}, {kSub3}, {kAlice}}, "SSRS"},
        Admission{"RootHasNoAllowanceOfItsOwn", {{kRoot}, {kRoot}, {kRoot}}, "SSS"},
        Admission{"WhenFullTheLargestHoldersOldestIdleMakesRoom",
                  {{kBob}, {kAlice}, {kAlice}, {kRoot}, {kBob}},
                  "SESSS"},
        Admission{"OnlyAnIdleConnectionMakesRoom",
                  {{kBob}, {kAlice, true}, {kAlice}, {kRoot}, {kSub1}},
                  "SSESS"},
        Admission{"WhenNoneIsIdleTheNewOneIsRefused",
                  {{kBob, true}, {kAlice, true}, {kAlice, true}, {kRoot, true}, {kSub1}},
                  "SSSSR"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimeLimit {
  const char* name;
  HelperServer::Limits limits;
  std::string sentAtOnce;
  std::string trickled;  // a byte every 20 ms: the server must close it meanwhile
  const char* logged;
};

void PrintTo(const TimeLimit& limit, std::ostream* out) {
  *out << limit.name;
}

class ConnectionTimeLimits : public ConnectionLimits,
                             public ::testing::WithParamInterface<TimeLimit> {};

TEST_P(ConnectionTimeLimits, CloseTheConnection) {
  serve(GetParam().limits);
  RawClient client(mSocketPath, kAlice);
  ASSERT_TRUE(client.send(GetParam().sentAtOnce));
  bool closed = GetParam().trickled.empty() && client.closedByDaemon(10s);
  for (char byte : GetParam().trickled) {
    if (!client.send(std::string_view(&byte, 1)) || (closed = client.closedByDaemon(20ms)))
      break;
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(logged(GetParam().logged), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, ConnectionTimeLimits,
    ::testing::Values(TimeLimit{"AFrameMustArriveWholeWithinItsTimeFromItsFirstByte",
                                smallLimits(200ms, 1min), "", frame(std::string(1000, 'x')),
                                "frame not complete within 200 ms of its first byte"},
                      TimeLimit{"AConnectionWithNoFrameInProgressIsClosed",
                                smallLimits(1min, 200ms), kVersionCall, "", "idle for 200 ms"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel::test
