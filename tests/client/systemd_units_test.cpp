// SPDX-License-Identifier: MIT
// The units that blessing writes are valid for systemd, and the service unit that a real
// installation writes keeps the service's exposure low.
#include <cstdlib>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/service_management.h"
#include "tests/client/installed_helper.h"
#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

class GeneratedUnits : public test::InstalledHelperTest {
 protected:
  void SetUp() override {
    Authorization bless({kSMRightBlessPrivilegedHelper});
    std::optional<ServiceError> error;
    ASSERT_TRUE(SMJobBless(kSMDomainSystemLaunchd, kHelperLabel, &bless, &error))
        << error->description();
  }
};

// The manual page the units name is the package's, checked by the package test.
TEST_F(GeneratedUnits, PassSystemdVerification) {
  test::CommandResult verify = test::runCommand(
      {"systemd-analyze", "verify", "--man=no", mFiles.socketUnit, mFiles.serviceUnit});
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(verify.out + verify.err, "");
}

TEST_F(GeneratedUnits, ExposeTheServiceAtMostTwoAndAHalf) {
  // As rendered for the machine's own root, without a sandbox's additions.
  std::string sandbox = mRoot.path();
  unsetenv("ZELHELPER_ROOT");
  std::string installed = serviceUnitText(kHelperLabel, helperJobFiles(kHelperLabel));
  setenv("ZELHELPER_ROOT", sandbox.c_str(), 1);
  std::string unit = mRoot.at(mFiles.serviceUnitName);
  mRoot.writeFile(mFiles.serviceUnitName, installed);

  test::CommandResult security =
      test::runCommand({"systemd-analyze", "security", "--offline=true", "--no-pager", unit});
  // "→ Overall exposure level for <unit>: 1.9 OK"
  size_t line = security.out.find("Overall exposure level for ");
  size_t colon = security.out.find(": ", line);
  ASSERT_NE(colon, std::string::npos) << security.out << security.err;
  EXPECT_LE(std::stod(security.out.substr(colon + 2)), 2.5) << security.out;
}

}  // namespace
}  // namespace zel
