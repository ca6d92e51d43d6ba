// SPDX-License-Identifier: MIT
#include "tests/client/installed_helper.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <fmt/format.h>

#include "platform/service_management.h"
#include "platform/system_root.h"
#include "resources/labels.h"

namespace zel::test {

void InstalledHelperTest::TearDown() {
  unsetenv("SYSTEMCTL_FAIL");
  if (SMJobInstalled(kHelperLabel)) {
    Authorization both({kSMRightBlessPrivilegedHelper, kSMRightModifySystemDaemons});
    EXPECT_TRUE(SMJobRemove(kSMDomainSystemLaunchd, kHelperLabel, &both, true, nullptr));
  }
}

void InstalledHelperTest::installFakeHelper(uint32_t version, const std::string& unitDirectory) {
  std::string listenStream = underSystemRoot(fmt::format("/run/{}", kMachServiceName));
  std::filesystem::create_directories(mRoot.at(unitDirectory));
  mRoot.writeFile(unitDirectory + "/" + mFiles.socketUnitName,
                  socketUnitText(kHelperLabel, kMachServiceName, listenStream));
  mRoot.writeFile(unitDirectory + "/" + mFiles.serviceUnitName,
                  fmt::format("[Service]\nExecStart={} --fake-helper-version={}\n",
                              ZEL_TEST_EXECUTABLE, version));
  std::string enable = fmt::format("systemctl enable --now {}", mFiles.socketUnitName);
  ASSERT_EQ(std::system(enable.c_str()), 0);
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
  if (!(stat >> pidField >> name >> state))
    return true;
  return state == "Z";
}

}  // namespace zel::test
