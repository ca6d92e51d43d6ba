// SPDX-License-Identifier: MIT
// systemd's socket-activation protocol, spoken without libsystemd: the service manager hands a
// started service its listening sockets as descriptors 3, 4, ... with LISTEN_PID, LISTEN_FDS
// and LISTEN_FDNAMES, and hears of its state on the datagram socket NOTIFY_SOCKET names.
// (libsystemd would load six more shared libraries at every start of the daemon, which is
// started for its first request: see bench/cold_start.cpp.)
//
// Call from the main thread before any other thread starts: they read the environment, and
// takeListeningSocket changes it.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace zel {

// The listening Unix stream socket handed to this process under `name`, close-on-exec. Every
// other descriptor handed over is closed, since nothing else is served, and the three variables
// are removed so that children do not take the sockets for theirs. nullopt when none fits;
// when the variables name another process (LISTEN_PID), no descriptor is touched.
std::optional<int> takeListeningSocket(std::string_view name);

// True when the service manager handed this process at least one socket (LISTEN_PID is this
// process and LISTEN_FDS is 1 or more). Changes nothing.
bool socketsWerePassed();

// Sends `state` (such as "READY=1") to the service manager when it asked for notifications;
// does nothing otherwise. Failures are ignored: notification is advisory.
void notifyServiceManager(std::string_view state);

// How long the service manager waits for a "WATCHDOG=1" from this process before it deems it
// hung (WATCHDOG_USEC, when WATCHDOG_PID is unset or names this process), or nullopt when it
// does not watch.
std::optional<std::chrono::microseconds> watchdogTimeout();

}  // namespace zel
