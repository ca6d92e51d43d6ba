// The daemon's start and stop: it runs only with its socket, and stops cleanly on SIGTERM.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "resources/labels.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

TEST(DaemonEntry, StartedByHandItLogsOneLineAndExitsWithConfigError) {
  SandboxRoot root;
  const CommandResult result = runCommand({zelhelperExecutable()});
  EXPECT_EQ(result.status, 78);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(std::string(kMachServiceName)), std::string::npos) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

TEST(DaemonEntry, HandedASocketOfAnotherNameItExitsWithConfigError) {
  SandboxRoot root;
  DaemonHarness daemon(root, DaemonHarness::WithFdName{"some.other.service"});
  // The kernel queues the connection; the daemon exits without answering it.
  auto helper = daemon.connect();
  EXPECT_EQ(helper ? helper->version() : 0u, 0u);
  EXPECT_EQ(daemon.wait(), 78);
  EXPECT_TRUE(daemon.waitForLog("started without a listening socket"));
}

// Within the installed unit's capability bounding set (chown, dac_override, dac_read_search,
// fowner, fsetid; sys_chroot for a sandbox root) and without new privileges.
TEST(DaemonEntry, RunsAsInstalledAndStopsCleanlyOnSigterm) {
  SandboxRoot root;
  DaemonHarness daemon(root);
  auto helper = daemon.connect();
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->version(), 3u);
  std::ifstream status("/proc/" + std::to_string(daemon.pid()) + "/status");
  std::string text((std::istreambuf_iterator<char>(status)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("CapBnd:\t000000000004001f\n"), std::string::npos) << text;
  EXPECT_NE(text.find("NoNewPrivs:\t1\n"), std::string::npos) << text;
  EXPECT_EQ(daemon.stop(), 0);
}

TEST(DaemonEntry, UnexpectedArgumentIsRefusedWithUsageError) {
  SandboxRoot root;
  const CommandResult result = runCommand({zelhelperExecutable(), "--no-such-option"});
  EXPECT_EQ(result.status, 2);
}

}  // namespace
}  // namespace zel::test
