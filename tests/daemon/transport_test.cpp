// SPDX-License-Identifier: MIT
// The remote interface through the real proxy and the real socket-activated daemon.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "client/helper_proxy.h"
#include "protocol/remote_interface.h"
#include "resources/labels.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

class Transport : public ::testing::Test {
 protected:
  SandboxRoot mRoot;
  DaemonHarness mDaemon{mRoot};
};

TEST_F(Transport, NothingListeningGivesNoProxy) {
  mDaemon.stop();
  EXPECT_EQ(connectToHelper(kMachServiceName), nullptr);
  EXPECT_EQ(connectToHelper("no.such.service.mach"), nullptr);
}

TEST_F(Transport, OneProxySharedByThreadsKeepsRepliesApart) {
  auto helper = mDaemon.connect();
  ASSERT_NE(helper, nullptr);
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        wrong += helper->version() == 3 ? 0 : 1;
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(Transport, AnArgumentTheWireRefusesIsNotSentAndTheProxyStaysUsable) {
  auto helper = mDaemon.connect();
  ASSERT_NE(helper, nullptr);
  EXPECT_FALSE(helper->createFile(std::string("/tmp/a\0b", 8), "alice", "staff"));
  EXPECT_FALSE(helper->createDirectory("/tmp/" + std::string(5000, 'x'), "alice", "staff"));
  EXPECT_FALSE(helper->permitAccessToPath("/tmp/\xff", "alice", "staff"));
  EXPECT_TRUE(static_cast<HelperProxy&>(*helper).connected());
  EXPECT_EQ(helper->version(), 3u);
}

}  // namespace
}  // namespace zel::test
