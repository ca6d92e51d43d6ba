// The daemon's start and stop: it runs only with its socket, and stops cleanly on SIGTERM; without
// a socket handed over, the executable is the command line.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "resources/labels.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

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

struct FrontDoorCase {
  std::vector<std::string> arguments;
  int status;
  std::string out;        // the whole of standard output
  std::string errSample;  // a part of standard error
};

// Without a socket handed over, no arguments is a usage error: the daemon path is systemd's.
TEST(DaemonEntry, WithoutASocketTheExecutableIsTheCommandLine) {
  const std::string version =
      "zelhelper " + std::string(kPackageVersion) + " (helper interface version 3)\n";
  for (const FrontDoorCase& c : std::vector<FrontDoorCase>{
           {{}, 2, "", "systemd starts it"},
           {{"--no-such-option"}, 2, "", "see 'zelhelper --help'"},
           {{"--version"}, 0, version, ""},
       }) {
    std::vector<std::string> command{zelhelperExecutable()};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    const CommandResult result = runCommand(command);
    EXPECT_EQ(result.status, c.status) << command.back();
    EXPECT_EQ(result.out, c.out) << command.back();
    EXPECT_NE(result.err.find(c.errSample), std::string::npos) << command.back() << result.err;
  }
}

}  // namespace
}  // namespace zel::test
