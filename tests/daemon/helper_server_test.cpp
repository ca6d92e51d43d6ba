// SPDX-License-Identifier: MIT
// The serving loop, in process: how the server rations connections (with small limits, and
// callers that connect as other uids), that an operation's exception never reaches it, and how
// it limits refusal and audit lines per uid (on a clock the test turns by hand).
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include <gmock/gmock.h>

#include "daemon/daemon_zel_helper.h"
#include "daemon/dispatcher.h"
#include "daemon/helper_server.h"
#include "daemon/refusal_log.h"
#include "platform/log.h"
#include "tests/platform/items.h"
#include "tests/protocol/raw_client.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

const std::string kVersionCall = frame("\x01");

class ConnectionLimits : public ::testing::Test {
 protected:
  void serve(std::chrono::milliseconds timeLimits) {
    // Four connections in all, two per uid.
    mThread = std::jthread([this, listenFd = listenAt(mSocketPath), timeLimits] {
      HelperServer(listenFd, mHelper, {4, 2, timeLimits, timeLimits, {}}).run(mStop.get());
    });
  }
  ~ConnectionLimits() override { eventfd_write(mStop.get(), 1); }
  std::ptrdiff_t logged(std::string_view text) const {
    return std::ranges::count_if(
        mLog.lines(), [&](const std::string& line) { return line.find(text) != line.npos; });
  }

  SandboxRoot mRoot;
  LogCapture mLog{LogChannel::kSystemLog};
  std::string mSocketPath = mRoot.at("helper.sock");
  UniqueFd mStop{eventfd(0, EFD_CLOEXEC)};
  DaemonZelHelper mHelper;
  std::jthread mThread;
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
    caseName<Admission>);

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

class Throwing : public DaemonZelHelper {
 public:
  bool createFile(const std::string&, const std::string&, const std::string&) override {
    throw std::runtime_error("disk on fire");
  }
};

TEST(Dispatcher, AnOperationThatThrowsAnswersNoAndIsLogged) {
  LogCapture log(LogChannel::kSystemLog);
  Throwing helper;
  std::string reason;
  const remote::AnyCall call =
      remote::Call<remote::OperationFor<remote::Op::kCreateFile>>{{"/x", "alice", "staff"}};
  EXPECT_EQ(dispatchCall(helper, call, Caller{0, 0, 1}, reason),
            remote::encodeReply<remote::Op::kCreateFile>(false));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"ZelHelper createFile failed: disk on fire"});
}

TEST(RefusalLines, AreLimitedPerUidAndMinuteInTheServer) {
  LogCapture capture(LogChannel::kSystemLog);
  for (int i = 0; i < 12; ++i)  // outside the server, all of them
    logRefusalLine(LogChannel::kSystemLog, 5, "5", {});
  RefusalLineLimiter::TimePoint now{};
  RefusalLineLimiter limiter(RefusalLineLimiter::Limits{}, [&] { return now; });
  RefusalLineLimiter audits(RefusalLineLimiter::Limits{2, std::chrono::seconds(60), "audit lines"},
                            [&] { return now; });
  RefusalLimitScope scope(limiter, &audits);
  // At second `at`, `count` lines for `uid`; a count of 0 is the server's turn to log the
  // summaries that are due. Uid 4243's first minute ends unsummarised, before its next line.
  const std::tuple<int, uid_t, int> steps[] = {{0, 4242, 37}, {1, kUidsWithoutUserEntry, 11},
                                               {2, 4243, 11}, {2, 0, 10},
                                               {59, 0, 0},    {60, 0, 0},
                                               {61, 0, 0},    {75, 4243, 11}};
  for (const auto& [at, uid, count] : steps) {
    now = RefusalLineLimiter::TimePoint{} + std::chrono::seconds(at);
    if (count == 0)
      limiter.logDueSummaries();
    for (int i = 0; i < count; ++i)
      logRefusalLine(LogChannel::kSystemLog, uid, std::to_string(uid), {});
  }
  std::map<uid_t, int> logged;
  std::vector<std::string> summaries;
  for (const std::string& line : capture.lines()) {
    if (line.starts_with("ZelHelper left out"))
      summaries.push_back(line);
    else
      ++logged[static_cast<uid_t>(std::stoul(line))];
  }
  EXPECT_EQ(logged, (std::map<uid_t, int>{
                        {0, 10}, {5, 12}, {4242, 10}, {4243, 20}, {kUidsWithoutUserEntry, 10}}));
  EXPECT_THAT(summaries, ::testing::ElementsAre(
                             "ZelHelper left out 27 refusal lines for uid 4242 in the last minute",
                             ::testing::HasSubstr(" 1 refusal lines for uids without a user entry"),
                             ::testing::HasSubstr(" 1 refusal lines for uid 4243")));
  // Audit lines have an allowance of their own; root's are never left out.
  LogCapture audited(LogChannel::kSystemLog);
  for (uid_t uid : {4242, 4242, 4242, 0, 0, 0})
    logAuditLine(LogChannel::kSystemLog, uid, "audit", {});
  now += std::chrono::seconds(60);
  audits.logDueSummaries();
  EXPECT_THAT(audited.lines(),
              ::testing::ElementsAre("audit", "audit", "audit", "audit", "audit",
                                     ::testing::HasSubstr("1 audit lines for uid 4242")));
}

}  // namespace
}  // namespace zel::test
