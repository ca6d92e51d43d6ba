#include "tests/client/systemctl_on_path.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zel::test {

std::string SystemctlOnPath::standInDirectory() {
  return ZEL_TEST_SUPPORT_DIR;
}

SystemctlOnPath::SystemctlOnPath(Kind kind, const std::string& scratch)
    : mPreviousPath(std::getenv("PATH")) {
  std::string directory = standInDirectory();
  if (kind == Kind::kSystemdNotRunning) {
    directory = scratch + "/offline-bin";
    std::filesystem::create_directories(directory);
    std::ofstream(directory + "/systemctl")
        << "#!/bin/sh\n"
           "if [ \"$1\" = is-system-running ]; then echo offline; exit 1; fi\n"
           "echo 'System has not been booted with systemd as init system (PID 1). Can'\"'\"'t "
           "operate.' >&2\n"
           "exit 1\n";
    chmod((directory + "/systemctl").c_str(), 0755);
  }
  setenv("PATH", (directory + ":" + mPreviousPath).c_str(), 1);
}

SystemctlOnPath::~SystemctlOnPath() {
  setenv("PATH", mPreviousPath.c_str(), 1);
}

}  // namespace zel::test
