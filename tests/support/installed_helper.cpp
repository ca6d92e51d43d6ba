// SPDX-License-Identifier: MIT
#include "tests/support/installed_helper.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "platform/service_management.h"
#include "platform/system_root.h"

namespace zel::test {

SystemctlOnPath::SystemctlOnPath(Kind kind, const std::string& scratch)
    : mPreviousPath(std::getenv("PATH")) {
  std::string directory = ZEL_TEST_SUPPORT_DIR;
  if (kind != Kind::kStandIn) {
    directory = scratch + "/systemctl-bin";
    std::filesystem::create_directories(directory);
    std::ofstream(directory + "/systemctl")
        << (kind == Kind::kSystemdNotRunning
                ? "#!/bin/sh\n[ \"$1\" = is-system-running ] && echo offline && exit 1\n"
                  "echo 'System has not been booted with systemd as init system (PID 1).' >&2\n"
                : "#!/bin/sh\n[ \"$1\" = is-system-running ] && echo running && exit 0\n"
                  "[ \"$1\" = --version ] && echo 'systemd 252 (252.39-1~deb12u2)' && exit 0\n"
                  "echo \"the machine's systemctl was asked to $*\" >&2\n")
        << "exit 1\n";
    std::filesystem::permissions(directory + "/systemctl", std::filesystem::perms::owner_all);
  }
  setenv("PATH", (directory + ":" + mPreviousPath).c_str(), 1);
}

SystemctlOnPath::~SystemctlOnPath() {
  setenv("PATH", mPreviousPath.c_str(), 1);
}

void InstalledHelperTest::TearDown() {
  unsetenv("SYSTEMCTL_FAIL");
  if (SMJobInstalled(kHelperLabel)) {
    Authorization both({kSMRightBlessPrivilegedHelper, kSMRightModifySystemDaemons});
    EXPECT_TRUE(SMJobRemove(kSMDomainSystemLaunchd, kHelperLabel, &both, true, nullptr));
  }
}

void InstalledHelperTest::installFakeHelper(uint32_t version, const std::string& unitDirectory) {
  std::filesystem::create_directories(mRoot.at(unitDirectory));
  mRoot.writeFile(unitDirectory + "/" + mFiles.socketUnitName,
                  socketUnitText(kHelperLabel, kMachServiceName,
                                 underSystemRoot(fmt::format("/run/{}", kMachServiceName))));
  mRoot.writeFile(unitDirectory + "/" + mFiles.serviceUnitName,
                  fmt::format("[Service]\nExecStart={} --fake-helper-version={}\n",
                              std::filesystem::read_symlink("/proc/self/exe").string(), version));
  ASSERT_EQ(std::system(fmt::format("systemctl enable --now {}", mFiles.socketUnitName).c_str()),
            0);
}

std::optional<pid_t> InstalledHelperTest::jobPid() const {
  std::ifstream file(mRoot.at(fmt::format("run/systemctl/{}.pid", mFiles.socketUnitName)));
  pid_t pid = 0;
  if (file >> pid)
    return pid;
  return std::nullopt;
}

bool processEnded(pid_t pid) {
  std::ifstream stat(fmt::format("/proc/{}/stat", pid));
  std::string pidField, name, state;
  return !(stat >> pidField >> name >> state) || state == "Z";
}

}  // namespace zel::test
