// SPDX-License-Identifier: MIT
// How the server rations connections: an in-process server with small limits, and callers
// that connect as other uids.
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "daemon/daemon_zel_helper.h"
#include "daemon/helper_server.h"
#include "platform/log.h"
#include "tests/protocol/raw_client.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

const std::string kVersionCall = frame("\x01");

class ConnectionLimits : public ::testing::Test {
 protected:
  void serve(std::chrono::milliseconds timeLimits) {
    // Four connections in all, two per uid.
    mThread = std::thread([this, listenFd = listenAt(mSocketPath), timeLimits] {
      HelperServer(listenFd, mHelper, {4, 2, timeLimits, timeLimits, {}}).run(mStop);
    });
  }
  ~ConnectionLimits() override {
    eventfd_write(mStop, 1);
    if (mThread.joinable())
      mThread.join();
    close(mStop);
  }
  std::ptrdiff_t logged(std::string_view text) const {
    return std::ranges::count_if(
        mLog.lines(), [&](const std::string& line) { return line.find(text) != line.npos; });
  }

  SandboxRoot mRoot;
  LogCapture mLog{LogChannel::kSystemLog};
  std::string mSocketPath = mRoot.at("helper.sock");
  int mStop = eventfd(0, EFD_CLOEXEC);
  DaemonZelHelper mHelper;
  std::thread mThread;
};

// Callers by letter: alice, bob, root, and a container's subordinate ids, which have no user
// entry. Upper case for one that leaves its next frame unfinished once served.
SandboxUser callerOf(char letter) {
  static const SandboxUser kCallers[] = {
      kAlice, kBob, {"root", 0, 0}, {"", 100001, 0}, {"", 100002, 0}, {"", 100003, 0}};
  return kCallers[std::string_view("abr123").find(static_cast<char>(std::tolower(letter)))];
}

struct Admission {
  const char* name;
  std::string callers;   // in the order they connect
  std::string outcomes;  // of each: 'S' served to the end, 'R' refused, 'E' closed for room
};

class ConnectionAdmission : public ConnectionLimits,
                            public ::testing::WithParamInterface<Admission> {};

TEST_P(ConnectionAdmission, FollowsTheAllowances) {
  serve(1min);
  const std::string& callers = GetParam().callers;
  std::string outcomes;
  std::vector<std::unique_ptr<RawClient>> clients;
  for (char caller : callers) {
    clients.push_back(std::make_unique<RawClient>(mSocketPath, callerOf(caller)));
    // One at a time, so the server takes them in order; the unfinished frame comes with the
    // call, so the server has it before it answers.
    const std::string bytes = kVersionCall + kVersionCall.substr(0, std::isupper(caller) ? 2 : 0);
    outcomes += clients.back()->send(bytes) && clients.back()->reply() == le32(3) ? 'S' : 'R';
  }
  for (std::size_t i = 0; i < clients.size(); ++i) {
    const std::string rest = kVersionCall.substr(std::isupper(callers[i]) ? 2 : 0);
    if (outcomes[i] == 'S' && (!clients[i]->send(rest) || clients[i]->reply() != le32(3)))
      outcomes[i] = 'E';
  }
  EXPECT_EQ(outcomes, GetParam().outcomes);
  EXPECT_EQ(logged("refusing connection of"), std::ranges::count(outcomes, 'R'));
  EXPECT_EQ(logged("closed to make room"), std::ranges::count(outcomes, 'E'));
}

INSTANTIATE_TEST_SUITE_P(
    Callers, ConnectionAdmission,
    ::testing::Values(Admission{"EachUidHasItsOwnAllowanceUidsWithoutAnEntryShareOne", "aaa123",
                                "SSRSSR"},
                      Admission{"RootHasNoAllowanceOfItsOwn", "rrr", "SSS"},
                      Admission{"WhenFullTheLargestHoldersOldestIdleMakesRoom", "baarb", "SESSS"},
                      Admission{"OnlyAnIdleConnectionMakesRoom", "bAar1", "SSESS"},
                      Admission{"WhenNoneIsIdleTheNewOneIsRefused", "BAAR1", "SSSSR"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionLimits, AFrameMustArriveWithinItsTimeFromItsFirstByteAndIdleOnesAreClosed) {
  serve(200ms);
  RawClient idle(mSocketPath, kAlice), trickling(mSocketPath, kBob);
  ASSERT_TRUE(idle.send(kVersionCall));
  const std::string bytes = frame(std::string(1000, 'x'));
  bool closed = false;  // while a byte still arrives every 20 ms
  for (std::size_t i = 0; i < bytes.size() && !closed; ++i)
    closed = !trickling.send(bytes.substr(i, 1)) || trickling.closedByDaemon(20ms);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(idle.closedByDaemon(10s));
  EXPECT_EQ(logged("frame not complete within 200 ms of its first byte"), 1);
  EXPECT_EQ(logged("idle for 200 ms"), 1);
}

}  // namespace
}  // namespace zel::test
