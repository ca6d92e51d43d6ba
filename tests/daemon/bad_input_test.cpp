// SPDX-License-Identifier: MIT
// Bad input harms only the connection it came on (what each malformed call is refused for, the
// decoder's test shows), and no earlier change is lost. And the proxy's side: threads sharing one
// get their own replies, and an argument the wire refuses is never sent.
#include <atomic>
#include <memory>
#include <thread>

#include "client/helper_proxy.h"
#include "tests/daemon/daemon_test.h"
#include "tests/protocol/raw_client.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

const std::string kVersionCall = frame("\x01");

class BadInput : public DaemonTest {
 protected:
  // Right after bad clients leave, the daemon may not yet have seen every connection close and
  // may still refuse at its limit, so a few refusals in a row are allowed.
  void expectStillServing() {
    uint32_t version = 0;
    for (int attempt = 0; attempt < 50 && version == 0; ++attempt) {
      std::this_thread::sleep_for(attempt > 0 ? 20ms : 0ms);
      auto helper = mDaemon.connect();
      version = helper ? helper->version() : 0;
    }
    EXPECT_EQ(version, 3u);
  }
};

TEST_F(BadInput, AMalformedFrameClosesOnlyItsConnectionWithOneLogLine) {
  RawClient bystander(mDaemon.socketPath());
  ASSERT_TRUE(bystander.send(kVersionCall));
  ASSERT_EQ(bystander.reply(), le32(3));

  RawClient offender(mDaemon.socketPath());
  ASSERT_TRUE(offender.send(kVersionCall + frame("\x09")));
  EXPECT_EQ(offender.reply(), le32(3));
  EXPECT_TRUE(offender.closedByDaemon());
  ASSERT_TRUE(mDaemon.waitForLog("unknown operation 9"));
  EXPECT_EQ(mDaemon.logLinesContaining("closing connection").size(), 1u);

  ASSERT_TRUE(bystander.send(kVersionCall));
  EXPECT_EQ(bystander.reply(), le32(3));
}

TEST_F(BadInput, ACrowdOfVanishingClientsAndOneThatNeverReadsLoseNoEarlierChange) {
  const std::string shared = scratch("shared");
  ASSERT_TRUE(mDaemon.connect()->createDirectory(shared, "root", "zelshare"));
  {
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (int i = 0; i < 300; ++i) {
      // Oversized, cut off mid-header or mid-body, or a whole call whose caller leaves.
      const std::string bytes[] = {le32(0xffffffff), kVersionCall.substr(0, 3),
                                   frame(std::string("\x02").append(le32(100))).substr(0, 8),
                                   frame(std::string("\x05").append(le32(770)))};
      crowd.push_back(std::make_unique<RawClient>(mDaemon.socketPath()));
      crowd.back()->send(bytes[i % 4]);
    }
  }
  expectStillServing();

  RawClient flooder(mDaemon.socketPath());
  // The daemon stops reading from it once its replies back up; its sends then block until it
  // hangs up, so they run beside the test.
  std::thread flood([&] {
    while (flooder.send(kVersionCall)) {
    }
  });
  std::this_thread::sleep_for(200ms);
  expectStillServing();
  flooder.hangUp();
  flood.join();

  EXPECT_EQ(statusOf(shared).mode, 02770u);
  EXPECT_NE(gidOfGroup(mRoot, "zel-zelshare"), static_cast<gid_t>(-1));
}

using Transport = BadInput;  // the proxy's side of the same connection

TEST_F(Transport, OneProxySharedByThreadsKeepsRepliesApart) {
  ZelHelper& proxy = helper();
  std::atomic<int> wrong{0};
  std::vector<std::jthread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        wrong += proxy.version() == 3 ? 0 : 1;
    });
  }
  threads.clear();
  EXPECT_EQ(wrong, 0);
}

TEST_F(Transport, AnArgumentTheWireRefusesIsNotSentAndTheProxyStaysUsable) {
  EXPECT_FALSE(helper().createFile(std::string("/tmp/a\0b", 8), "alice", "staff"));
  EXPECT_TRUE(static_cast<HelperProxy&>(helper()).connected());
  EXPECT_EQ(helper().version(), 3u);
}

}  // namespace
}  // namespace zel::test
