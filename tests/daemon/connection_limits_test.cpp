// How the server rations connections, on an in-process server with small limits and callers
// that are real processes running as other uids.
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
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
// Subordinate ids of a container: no user entry.
constexpr SandboxUser kSub1{"sub1", 100001, 100001};
constexpr SandboxUser kSub2{"sub2", 100002, 100002};
constexpr SandboxUser kSub3{"sub3", 100003, 100003};

class ServedInProcess {
 public:
  explicit ServedInProcess(const SandboxRoot& root, HelperServer::Limits limits)
      : mSocketPath(root.at("helper.sock")), mStop(eventfd(0, EFD_CLOEXEC)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, mSocketPath.c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        chmod(mSocketPath.c_str(), 0666) != 0 || listen(fd, 64) != 0)
      throw std::runtime_error("cannot listen on " + mSocketPath);
    mServer = std::make_unique<HelperServer>(fd, mHelper, limits);
    mThread = std::thread([this] { mServer->run(mStop); });
  }
  ~ServedInProcess() {
    eventfd_write(mStop, 1);
    mThread.join();
    close(mStop);
  }
  const std::string& socketPath() const { return mSocketPath; }

 private:
  std::string mSocketPath;
  int mStop;
  ZelHelper mHelper;
  std::unique_ptr<HelperServer> mServer;
  std::thread mThread;
};

// Four connections in all, two per uid.
HelperServer::Limits smallLimits(std::chrono::milliseconds frame, std::chrono::milliseconds idle) {
  HelperServer::Limits limits;
  limits.maxConnections = 4;
  limits.connectionsPerUid = 2;
  limits.frameTimeout = frame;
  limits.idleTimeout = idle;
  return limits;
}

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

class ConnectionLimits : public ::testing::Test {
 protected:
  SandboxRoot mRoot;
  LogCapture mLog{LogChannel::kSystemLog};
};

class ConnectionAdmission : public ConnectionLimits,
                            public ::testing::WithParamInterface<Admission> {};

std::size_t linesContaining(const LogCapture& log, std::string_view text) {
  std::size_t count = 0;
  for (const std::string& line : log.lines())
    count += line.find(text) != std::string::npos ? 1 : 0;
  return count;
}

TEST_P(ConnectionAdmission, FollowsTheAllowances) {
  std::string outcomes;
  std::vector<std::unique_ptr<RawClient>> clients;
  {
    ServedInProcess served(mRoot, smallLimits(1min, 1min));
    for (const Opening& opening : GetParam().openings) {
      auto& client =
          clients.emplace_back(std::make_unique<RawClient>(served.socketPath(), opening.caller));
      ASSERT_TRUE(client->connected());
      // A round trip each, so the server has taken them one by one, in order.
      const bool answered = client->send(kVersionCall) && client->reply() == le32(3);
      outcomes += answered ? 'S' : 'R';
      if (answered && opening.busy) {
        ASSERT_TRUE(client->send(kVersionCall.substr(0, 2)));
      }
    }
    for (std::size_t i = 0; i < clients.size(); ++i) {
      if (outcomes[i] != 'S')
        continue;
      const std::string rest = GetParam().openings[i].busy ? kVersionCall.substr(2) : kVersionCall;
      if (!clients[i]->send(rest) || clients[i]->reply() != le32(3))
        outcomes[i] = 'E';
    }
  }
  EXPECT_EQ(outcomes, GetParam().outcomes);
  const auto count = [&](char outcome) {
    return static_cast<std::size_t>(std::count(outcomes.begin(), outcomes.end(), outcome));
  };
  EXPECT_EQ(linesContaining(mLog, "refusing connection of"), count('R'));
  EXPECT_EQ(linesContaining(mLog, "closed to make room"), count('E'));
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
  ServedInProcess served(mRoot, GetParam().limits);
  RawClient client(served.socketPath(), kAlice);
  ASSERT_TRUE(client.send(GetParam().sentAtOnce));
  bool closed = GetParam().trickled.empty() && client.closedByDaemon(10s);
  for (char byte : GetParam().trickled) {
    if (!client.send(std::string_view(&byte, 1)) || (closed = client.closedByDaemon(20ms)))
      break;
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(linesContaining(mLog, GetParam().logged), 1u);
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
