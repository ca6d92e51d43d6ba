// Puts a systemctl first on PATH for as long as it lives, so that no test ever reaches the
// machine's own: the stand-in of tests/support (which acts only under the sandbox root), or
// one that answers like systemctl on a machine where systemd is not running.
#pragma once

#include <string>

namespace zel::test {

class SystemctlOnPath {
 public:
  enum class Kind { kStandIn, kSystemdNotRunning };

  // `scratch` is a directory where the offline variant may write its script.
  SystemctlOnPath(Kind kind, const std::string& scratch);
  ~SystemctlOnPath();
  SystemctlOnPath(const SystemctlOnPath&) = delete;
  SystemctlOnPath& operator=(const SystemctlOnPath&) = delete;

  // The directory that holds the stand-in systemctl.
  static std::string standInDirectory();

 private:
  std::string mPreviousPath;
};

}  // namespace zel::test
