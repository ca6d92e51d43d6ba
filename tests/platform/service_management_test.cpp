// SPDX-License-Identifier: MIT
// The ways blessing and removing a job fail before or while systemctl acts, each with the
// description that says what failed, and what is left on disk. (Successful blessing and
// removing run end to end in the helper installation tests.)
#include "platform/service_management.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <fmt/format.h>

#include "platform/systemd_units.h"
#include "resources/labels.h"
#include "tests/support/installed_helper.h"

namespace zel {
namespace {

const Authorization kBoth({kSMRightBlessPrivilegedHelper, kSMRightModifySystemDaemons});
const Authorization kBlessOnly({kSMRightBlessPrivilegedHelper});
const Authorization kModifyOnly({kSMRightModifySystemDaemons});

struct FailureCase {
  const char* name;
  const char* request;  // "bless", "bless-user" (in the user domain) or "remove"
  const Authorization* rights;
  bool unitsInstalled;
  // A key part of the description, with {root} for the sandbox root, {exe} for this executable.
  const char* descriptionPart;
  const char* failingCall = "";  // SYSTEMCTL_FAIL for the stand-in
};

class ServiceManagementFailure : public testing::TestWithParam<FailureCase> {
 protected:
  void TearDown() override { unsetenv("SYSTEMCTL_FAIL"); }
  test::SandboxRoot mRoot;
  test::SystemctlOnPath mSystemctl;
};

TEST_P(ServiceManagementFailure, SaysWhatFailed) {
  const FailureCase& c = GetParam();
  HelperJobFiles files = helperJobFiles(kHelperLabel);
  if (c.unitsInstalled) {
    mRoot.writeFile("etc/systemd/system/" + files.socketUnitName, "[Socket]\n");
    mRoot.writeFile("etc/systemd/system/" + files.serviceUnitName, "[Service]\n");
  }
  setenv("SYSTEMCTL_FAIL", c.failingCall, 1);

  std::optional<ServiceError> error;
  const std::string_view request = c.request;
  EXPECT_FALSE(request == "remove"
                   ? SMJobRemove(kSMDomainSystemLaunchd, kHelperLabel, c.rights, true, &error)
                   : SMJobBless(request == "bless" ? kSMDomainSystemLaunchd : "user", kHelperLabel,
                                c.rights, &error));
  ASSERT_TRUE(error);
  EXPECT_THAT(error->description(),
              testing::HasSubstr(fmt::format(
                  fmt::runtime(c.descriptionPart), fmt::arg("root", mRoot.path()),
                  fmt::arg("exe", std::filesystem::canonical("/proc/self/exe").string()))));
  EXPECT_FALSE(std::filesystem::exists(files.executable));
  EXPECT_EQ(std::filesystem::exists(files.socketUnit), c.unitsInstalled);
  EXPECT_EQ(std::filesystem::exists(files.serviceUnit), c.unitsInstalled);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ServiceManagementFailure,
    testing::Values(FailureCase{"BlessUnauthorized", "bless", nullptr, false, "not granted"},
                    FailureCase{"BlessWithTheOtherRight", "bless", &kModifyOnly, false,
                                "blesshelper was not granted"},
                    FailureCase{"RemoveWithTheOtherRight", "remove", &kBlessOnly, true,
                                "daemons.modify was not granted"},
                    FailureCase{"BlessInAnotherDomain", "bless-user", &kBoth, false,
                                "unknown service domain \"user\""},
                    // This test executable carries no launchd property list, unlike zelhelper.
                    FailureCase{"BlessAnExecutableWithoutJob", "bless", &kBoth, false,
                                "{exe} carries no launchd property list"},
                    FailureCase{"RemoveWhenNothingIsInstalled", "remove", &kBoth, false,
                                "(no net.zel.client-Helper.socket in {root}/etc/systemd/system)"},
                    FailureCase{
                        "RemoveWhenSystemdRefuses", "remove", &kBoth, true,
                        "disable --now net.zel.client-Helper.socket net.zel.client-Helper.service "
                        "failed with exit status 1",
                        "disable:1"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zel
