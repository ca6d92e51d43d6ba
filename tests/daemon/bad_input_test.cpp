// SPDX-License-Identifier: MIT
// Bad input never harms the daemon: malformed frames on a live socket close only the
// connection that sent them, with one log line; vanishing and flooding clients leave everyone
// else served. After each abuse the daemon still answers version 3.
#include <sys/stat.h>

#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "tests/daemon/raw_client.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

const std::string kVersionCall = frame("\x01");

class BadInput : public ::testing::Test {
 protected:
  // Right after a crowd leaves, the daemon may not yet have seen every connection close and
  // may still refuse at its limit, so a few refusals in a row are allowed.
  void expectStillServing() {
    uint32_t version = 0;
    for (int attempt = 0; attempt < 50 && version == 0; ++attempt) {
      if (attempt > 0)
        std::this_thread::sleep_for(20ms);
      auto helper = mDaemon.connect();
      version = helper ? helper->version() : 0;
    }
    EXPECT_EQ(version, 3u);
  }

  SandboxRoot mRoot;
  DaemonHarness mDaemon{mRoot};
};

struct Malformed {
  const char* name;
  std::string bytes;
  const char* logged;
};

void PrintTo(const Malformed& malformed, std::ostream* out) {
  *out << malformed.name;
}

class MalformedFrames : public BadInput, public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedFrames, CloseOnlyTheirConnectionWithOneLogLine) {
  RawClient bystander(mDaemon.socketPath());
  ASSERT_TRUE(bystander.send(kVersionCall));
  ASSERT_EQ(bystander.reply(), le32(3));

  RawClient offender(mDaemon.socketPath());
  ASSERT_TRUE(offender.send(GetParam().bytes));
  EXPECT_TRUE(offender.closedByDaemon());
  ASSERT_TRUE(mDaemon.waitForLog(GetParam().logged));
  EXPECT_EQ(mDaemon.logLinesContaining("closing connection").size(), 1u);

  ASSERT_TRUE(bystander.send(kVersionCall));
  EXPECT_EQ(bystander.reply(), le32(3));
  expectStillServing();
}

const std::string kPath = "/tmp/zel-item";
std::string createFileCall(std::string_view path) {
  return std::string("\x02").append(str(path)).append(str("alice")).append(str("staff"));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, MalformedFrames,
    ::testing::Values(
        Malformed{"Garbage", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", "exceeds 65536"},
        Malformed{"Oversized", frameDeclaring(65537, "\x01"), "frame of 65537 bytes exceeds"},
        Malformed{"Empty", frame(""), "empty call"},
        Malformed{"OperationNine", frame("\x09"), "unknown operation 9"},
        Malformed{"TrailingBytes", frame(std::string("\x01\x00", 2)), "1 trailing bytes"},
        Malformed{"StringLongerThanBody",
                  frame(std::string("\x02").append(le32(100)).append("/tmp")), "body ends"},
        Malformed{"StringOverLimit", frame(createFileCall(std::string("/").append(4096, 'a'))),
                  "string of 4097 bytes exceeds 4096"},
        Malformed{"NulByte", frame(createFileCall(std::string("/tmp/a\0b", 8))), "NUL byte"},
        Malformed{"BadFrameAfterGoodOne", kVersionCall + frame("\x09"), "unknown operation 9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BadInput, PipelinedCallsAreAnsweredInOrder) {
  RawClient client(mDaemon.socketPath());
  std::string calls;
  for (int i = 0; i < 50; ++i)
    calls += kVersionCall;
  ASSERT_TRUE(client.send(calls));
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(client.reply(), le32(3)) << i;
}

TEST_F(BadInput, AClientThatNeverReadsItsRepliesHoldsUpNoOne) {
  RawClient flooder(mDaemon.socketPath());
  std::string calls;
  for (int i = 0; i < 4096; ++i)
    calls += kVersionCall;
  // The daemon stops reading from it once its replies back up; the send may then block, so
  // it runs beside the test.
  std::thread flood([&] {
    for (int i = 0; i < 20 && flooder.send(calls); ++i) {
    }
  });
  std::this_thread::sleep_for(200ms);
  expectStillServing();
  flooder.hangUp();
  flood.join();
  expectStillServing();
}

// A change made before the abuse is still there after it, and the daemon serves on.
TEST_F(BadInput, AfterAllOfItNoEarlierChangeIsLost) {
  const std::string shared = mRoot.scratch() + "/shared";
  {
    auto helper = mDaemon.connect();
    ASSERT_NE(helper, nullptr);
    ASSERT_TRUE(helper->createDirectory(shared, "root", "zelshare"));
  }
  std::vector<std::unique_ptr<RawClient>> crowd;
  for (int i = 0; i < 300; ++i)
    crowd.push_back(std::make_unique<RawClient>(mDaemon.socketPath()));
  for (std::size_t i = 0; i < crowd.size(); ++i) {
    // Malformed, cut off mid-header or mid-body, or a whole call whose caller leaves.
    const std::string bytes[] = {frameDeclaring(0xffffffff, ""), kVersionCall.substr(0, 3),
                                 frame(createFileCall(kPath)).substr(0, 12),
                                 frame(std::string("\x05").append(le32(770)))};
    crowd[i]->send(bytes[i % 4]);
  }
  crowd.clear();

  struct stat info {};
  ASSERT_EQ(stat(shared.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 02770u);
  EXPECT_NE(mRoot.readFile("etc/group").find("zelshare:x:"), std::string::npos);
  expectStillServing();
}

}  // namespace
}  // namespace zel::test
