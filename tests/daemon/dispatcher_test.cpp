// SPDX-License-Identifier: MIT
// The dispatcher as the operations see it: run as the connection's caller, and never let an
// operation's exception reach the serving loop.
#include <stdexcept>

#include <gtest/gtest.h>

#include "daemon/daemon_zel_helper.h"
#include "daemon/dispatcher.h"
#include "platform/log.h"

namespace zel {
namespace {

class Recording : public DaemonZelHelper {
 public:
  bool createFile(const std::string& path, const std::string&, const std::string&) override {
    mSeen = currentCaller();
    if (path == "/throw")
      throw std::runtime_error("disk on fire");
    return true;
  }
  Caller mSeen{};
};

remote::AnyCall createFileCall(const std::string& path) {
  return remote::Call<remote::OperationFor<remote::Op::kCreateFile>>{{path, "alice", "staff"}};
}

TEST(Dispatcher, RunsTheOperationAsTheConnectionsCaller) {
  Recording helper;
  const Caller alice{4242, 4242, 777};
  std::string reason;
  EXPECT_EQ(dispatchCall(helper, createFileCall("/x"), alice, reason),
            remote::encodeReply<remote::Op::kCreateFile>(true));
  EXPECT_EQ(helper.mSeen.uid, alice.uid);
  EXPECT_EQ(helper.mSeen.gid, alice.gid);
  EXPECT_EQ(helper.mSeen.pid, alice.pid);
  EXPECT_EQ(currentCaller().pid, getpid());  // the scope ends with the call
}

TEST(Dispatcher, AnOperationThatThrowsAnswersNoAndIsLogged) {
  LogCapture log(LogChannel::kSystemLog);
  Recording helper;
  std::string reason;
  EXPECT_EQ(dispatchCall(helper, createFileCall("/throw"), Caller{0, 0, 1}, reason),
            remote::encodeReply<remote::Op::kCreateFile>(false));
  EXPECT_EQ(log.lines(), std::vector<std::string>{"ZelHelper createFile failed: disk on fire"});
}

}  // namespace
}  // namespace zel
