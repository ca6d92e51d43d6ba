// SPDX-License-Identifier: MIT
#include "tests/client/systemctl_on_path.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zel::test {

SystemctlOnPath::SystemctlOnPath(Kind kind, const std::string& scratch)
    : mPreviousPath(std::getenv("PATH")) {
  std::string directory = ZEL_TEST_SUPPORT_DIR;
  if (kind != Kind::kStandIn) {
    directory = scratch + "/systemctl-bin";
    std::filesystem::create_directories(directory);
    std::ofstream script(directory + "/systemctl");
    script << "#!/bin/sh\n";
    if (kind == Kind::kSystemdNotRunning) {
      script << "if [ \"$1\" = is-system-running ]; then echo offline; exit 1; fi\n"
                "echo 'System has not been booted with systemd as init system (PID 1). Can'\"'\"'t "
                "operate.' >&2\n";
    } else {
      script << "if [ \"$1\" = is-system-running ]; then echo running; exit 0; fi\n"
                "if [ \"$1\" = --version ]; then echo 'systemd 252 (252.39-1~deb12u2)'; exit 0; "
                "fi\n"
                "echo \"the machine's systemctl was asked to $*\" >&2\n";
    }
    script << "exit 1\n";
    script.close();
    chmod((directory + "/systemctl").c_str(), 0755);
  }
  setenv("PATH", (directory + ":" + mPreviousPath).c_str(), 1);
}

SystemctlOnPath::~SystemctlOnPath() {
  setenv("PATH", mPreviousPath.c_str(), 1);
}

}  // namespace zel::test
