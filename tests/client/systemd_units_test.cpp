// The units that blessing writes are valid for systemd and keep the service's exposure low.
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

TEST_F(GeneratedUnits, PassSystemdVerification) {
  test::CommandResult verify =
      test::runCommand({"systemd-analyze", "verify", mFiles.socketUnit, mFiles.serviceUnit});
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(verify.out + verify.err, "");
}

TEST_F(GeneratedUnits, ExposeTheServiceAtMostTwoAndAHalf) {
  test::CommandResult security = test::runCommand(
      {"systemd-analyze", "security", "--offline=true", "--no-pager", mFiles.serviceUnit});
  // "→ Overall exposure level for <unit>: 1.9 OK"
  size_t line = security.out.find("Overall exposure level for ");
  size_t colon = security.out.find(": ", line);
  ASSERT_NE(colon, std::string::npos) << security.out << security.err;
  EXPECT_LE(std::stod(security.out.substr(colon + 2)), 2.5) << security.out;
}

}  // namespace
}  // namespace zel
