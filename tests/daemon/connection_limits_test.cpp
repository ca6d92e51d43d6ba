// How the server rations connections: an in-process server with small limits, and callers
// that connect as other uids.
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
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
    mServer = std::make_unique<HelperServer>(listenAt(mSocketPath), mHelper, limits);
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

TEST_F(ConnectionLimits, AFrameMustArriveWholeWithinItsTimeFromItsFirstByte) {
  serve(smallLimits(200ms, 1min));
  RawClient client(mSocketPath, kAlice);
  bool closed = false;  // while a byte still arrives every 20 ms
  for (char byte : frame(std::string(1000, 'x'))) {
    if (!client.send(std::string_view(&byte, 1)) || (closed = client.closedByDaemon(20ms)))
      break;
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(logged("frame not complete within 200 ms of its first byte"), 1);
}

TEST_F(ConnectionLimits, AConnectionWithNoFrameInProgressIsClosed) {
  serve(smallLimits(1min, 200ms));
  RawClient client(mSocketPath, kAlice);
  ASSERT_TRUE(client.send(kVersionCall));
  EXPECT_TRUE(client.closedByDaemon(10s));
  EXPECT_EQ(logged("idle for 200 ms"), 1);
}

}  // namespace
}  // namespace zel::test
