// SPDX-License-Identifier: MIT
// Puts a systemctl first on PATH for as long as it lives, so that no test ever reaches the
// machine's own: the stand-in of tests/support (which acts only under the sandbox root), one
// that answers like systemctl on a machine where systemd is not running, or one that answers
// like the systemctl of a machine where systemd runs (and fails whatever it is asked to do).
#pragma once

#include <string>

namespace zel::test {

class SystemctlOnPath {
 public:
  enum class Kind { kStandIn, kSystemdNotRunning, kMachineSystemd };

  // `scratch` is a directory where the other variants may write their script.
  SystemctlOnPath(Kind kind, const std::string& scratch);
  ~SystemctlOnPath();
  SystemctlOnPath(const SystemctlOnPath&) = delete;
  SystemctlOnPath& operator=(const SystemctlOnPath&) = delete;

 private:
  std::string mPreviousPath;
};

}  // namespace zel::test
