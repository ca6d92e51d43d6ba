// SPDX-License-Identifier: MIT
// The exit statuses of zelhelper, as a command and as the daemon; scripts and the manual pages
// rely on these numbers, so they never change meaning.
#pragma once

namespace zel::exit_status {

inline constexpr int kSuccess = 0;    // done; for a question, yes
inline constexpr int kNo = 1;         // no, or not done
inline constexpr int kBadInput = 2;   // the command line or an argument was refused
inline constexpr int kNoHelper = 3;   // no helper answered
inline constexpr int kNeedsRoot = 4;  // the command needs root
// EX_CONFIG: the daemon was started without its socket, so systemd does not restart it.
inline constexpr int kStartedWithoutSocket = 78;

}  // namespace zel::exit_status
