// SPDX-License-Identifier: MIT
// The daemon's entry: checks in through systemd socket activation (the listening socket named
// by the Mach service name), serves the helper's remote interface until stopped, and returns
// the process's exit status (78 when started without its socket).
#pragma once

namespace zel {

int runDaemon();

}  // namespace zel
