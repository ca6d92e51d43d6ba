// SPDX-License-Identifier: MIT
// The daemon's start and stop: it runs only with its socket, and stops cleanly on SIGTERM.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/unique_fd.h"
#include "resources/labels.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

// Handed a socket of another name it exits with a configuration error; without a socket, no
// arguments is the command line's usage error: the daemon path is systemd's.
TEST(DaemonEntry, RunsOnlyWithItsSocket) {
  SandboxRoot root;
  DaemonHarness daemon(root, DaemonHarness::WithFdName{"some.other.service"});
  // The kernel queues the connection; the daemon exits without answering it.
  auto helper = daemon.connect();
  EXPECT_EQ(helper ? helper->version() : 0u, 0u);
  EXPECT_EQ(daemon.wait(), 78);
  EXPECT_TRUE(daemon.waitForLog("started without a listening socket"));
  const CommandResult bare = runCommand({zelhelperExecutable()});
  EXPECT_EQ(bare.status, 2);
  EXPECT_NE(bare.err.find("systemd starts it"), std::string::npos) << bare.err;
  EXPECT_EQ(runCommand({zelhelperExecutable(), "--version"}).out,
            fmt::format("zelhelper {} (helper interface version 3)\n", kPackageVersion));
}

// What the daemon tells the service manager, read from a notification socket of the test's own:
// the messages received until one contains `text`, or none when none did within 10 s.
std::vector<std::string> notificationsUntil(const UniqueFd& socket, std::string_view text) {
  std::vector<std::string> messages;
  char buffer[4096];
  for (ssize_t size; (size = recv(socket.get(), buffer, sizeof buffer, 0)) > 0;) {
    messages.emplace_back(buffer, static_cast<std::size_t>(size));
    if (messages.back().find(text) != std::string::npos)
      return messages;
  }
  return {};
}

// Ready, and kept alive from the event loop, as the unit's Type=notify and WatchdogSec= expect
// (its capabilities and NoNewPrivileges the system test reads from the installed daemon).
TEST(DaemonEntry, RunsAsInstalledAndStopsCleanlyOnSigterm) {
  SandboxRoot root;
  const UniqueFd notifications(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{AF_UNIX, {}};
  root.at("notify").copy(address.sun_path, sizeof address.sun_path - 1);
  const timeval patience{10, 0};
  ASSERT_EQ(bind(notifications.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(setsockopt(notifications.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience),
            0);
  DaemonHarness daemon(root, DaemonHarness::WithEnvironment{
                                 {"NOTIFY_SOCKET=" + root.at("notify"), "WATCHDOG_USEC=200000"}});
  auto helper = daemon.connect();
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->version(), 3u);
  const auto served =
      notificationsUntil(notifications, "STATUS=Serving 1 connection; 1 call served");
  ASSERT_FALSE(served.empty());
  EXPECT_EQ(served.front(), "READY=1\nSTATUS=Waiting for requests");
  EXPECT_TRUE(served.back().starts_with("WATCHDOG=1\n")) << served.back();
  EXPECT_EQ(daemon.stop(), 0);
  EXPECT_FALSE(notificationsUntil(notifications, "STOPPING=1").empty());
}

}  // namespace
}  // namespace zel::test
