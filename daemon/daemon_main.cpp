// SPDX-License-Identifier: MIT
#include "daemon/daemon_main.h"

#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>

#include <fmt/format.h>

#include "daemon/daemon_zel_helper.h"
#include "daemon/helper_server.h"
#include "platform/exit_status.h"
#include "platform/log.h"
#include "platform/message_ids.h"
#include "platform/socket_activation.h"
#include "platform/unique_fd.h"
#include "resources/labels.h"

namespace zel {
namespace {

// SIGTERM and SIGINT become readable events on the returned descriptor.
int stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigprocmask(SIG_BLOCK, &set, nullptr);
  return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Room for every connection the server admits, plus the few descriptors of its own.
void raiseDescriptorLimit(std::size_t connections) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return;
  const rlim_t wanted = connections + 64;
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = limit.rlim_max < wanted ? limit.rlim_max : wanted;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int runDaemon() {
  const std::optional<int> listenFd = takeListeningSocket(kMachServiceName);
  if (!listenFd) {
    systemLog(fmt::format("ZelHelper started without a listening socket named {}; it runs only "
                          "when socket-activated",
                          kMachServiceName),
              LogEvent{message_id::kStartedWithoutSocket, LOG_ERR, {}});
    return exit_status::kStartedWithoutSocket;
  }
  std::signal(SIGPIPE, SIG_IGN);
  const UniqueFd stopFd(stopSignals());
  const HelperServer::Limits limits;
  raiseDescriptorLimit(limits.maxConnections);

  DaemonZelHelper helper;
  HelperServer server(*listenFd, helper, limits);
  // Half the watchdog's patience, as systemd advises, so that one late pass is not fatal.
  if (const auto timeout = watchdogTimeout())
    server.keepAliveEvery(std::chrono::ceil<std::chrono::milliseconds>(*timeout / 2));
  notifyServiceManager("READY=1\nSTATUS=Waiting for requests");
  const int status = server.run(stopFd.get());
  notifyServiceManager("STOPPING=1\nSTATUS=Stopping");
  return status;
}

}  // namespace zel
