// SPDX-License-Identifier: MIT
// The dispatcher never lets an operation's exception reach the serving loop (that operations run
// as the connection's caller, the rule tables through the daemon show).
#include <stdexcept>

#include <gtest/gtest.h>

#include "daemon/daemon_zel_helper.h"
#include "daemon/dispatcher.h"
#include "platform/log.h"

namespace zel {
namespace {

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

}  // namespace
}  // namespace zel
