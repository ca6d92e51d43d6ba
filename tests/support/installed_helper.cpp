// SPDX-License-Identifier: MIT
#include "tests/support/installed_helper.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "platform/service_management.h"
#include "platform/system_root.h"

namespace zel::test {

SystemctlOnPath::SystemctlOnPath() : mPreviousPath(std::getenv("PATH")) {
  setenv("PATH", (ZEL_TEST_SUPPORT_DIR ":" + mPreviousPath).c_str(), 1);
}

void InstalledHelperTest::TearDown() {
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
  return file >> pid ? std::optional(pid) : std::nullopt;
}

bool processEnded(pid_t pid) {
  std::ifstream stat(fmt::format("/proc/{}/stat", pid));
  std::string pidField, name, state;
  return !(stat >> pidField >> name >> state) || state == "Z";
}

}  // namespace zel::test
