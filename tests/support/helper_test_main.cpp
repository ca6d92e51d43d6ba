// SPDX-License-Identifier: MIT
// The main of the tests that install the helper. Installing blesses the running executable, so it
// is a helper too: with no arguments (as the installed service starts it) the daemon; with
// --fake-helper-version=N a helper that answers `version` with N; else it runs the tests.
#include <sys/signalfd.h>

#include <csignal>
#include <cstdlib>
#include <string_view>

#include <gtest/gtest.h>

#include "daemon/daemon_main.h"
#include "daemon/daemon_zel_helper.h"
#include "daemon/helper_server.h"
#include "platform/socket_activation.h"
#include "resources/labels.h"

namespace {

struct FakeHelper : zel::DaemonZelHelper {
  explicit FakeHelper(uint32_t version) : mVersion(version) {}
  uint32_t version() override { return mVersion; }
  uint32_t mVersion;
};

int serveFakeHelper(uint32_t version) {
  const std::optional<int> listenFd = zel::takeListeningSocket(zel::kMachServiceName);
  if (!listenFd)
    return 78;
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  FakeHelper helper(version);
  zel::HelperServer server(*listenFd, helper, zel::HelperServer::Limits{});
  return server.run(signalfd(-1, &stop, SFD_CLOEXEC));
}

}  // namespace

int main(int argc, char** argv) {
  constexpr std::string_view kFakeVersionOption = "--fake-helper-version=";
  if (argc == 1)
    return zel::runDaemon();
  if (argc == 2 && std::string_view(argv[1]).starts_with(kFakeVersionOption))
    return serveFakeHelper(std::atoi(argv[1] + kFakeVersionOption.size()));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
