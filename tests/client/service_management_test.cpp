// SPDX-License-Identifier: MIT
// The ways blessing and removing a job fail before or while systemctl acts, each with the
// description that says what failed, and what is left on disk. (Successful blessing and
// removing run end to end in the helper installation tests.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <fmt/format.h>

#include "platform/service_management.h"
#include "platform/systemd_units.h"
#include "resources/labels.h"
#include "tests/client/systemctl_on_path.h"
#include "tests/support/sandbox_root.h"

namespace zel {
namespace {

using test::SystemctlOnPath;

const Authorization kBothRights({kSMRightBlessPrivilegedHelper, kSMRightModifySystemDaemons});
const Authorization kBlessRightOnly({kSMRightBlessPrivilegedHelper});
const Authorization kModifyRightOnly({kSMRightModifySystemDaemons});

enum class Request { kBless, kBlessForUser, kRemove };

struct FailureCase {
  const char* name;
  SystemctlOnPath::Kind systemctl;
  Request request;
  const Authorization* rights;
  bool unitsInstalled;
  // A key part of the description, with {root} for the sandbox root.
  const char* descriptionPart;
  const char* failingCall = "";  // SYSTEMCTL_FAIL for the stand-in
};

bool ask(const FailureCase& c, std::optional<ServiceError>* error) {
  if (c.request == Request::kRemove)
    return SMJobRemove(kSMDomainSystemLaunchd, kHelperLabel, c.rights, true, error);
  const std::string_view domain = c.request == Request::kBless ? kSMDomainSystemLaunchd : "user";
  return SMJobBless(domain, kHelperLabel, c.rights, error);
}

class ServiceManagementFailure : public testing::TestWithParam<FailureCase> {
 protected:
  void TearDown() override { unsetenv("SYSTEMCTL_FAIL"); }
  test::SandboxRoot mRoot;
};

TEST_P(ServiceManagementFailure, SaysWhatFailed) {
  const FailureCase& c = GetParam();
  SystemctlOnPath systemctl(c.systemctl, mRoot.scratch());
  HelperJobFiles files = helperJobFiles(kHelperLabel);
  if (c.unitsInstalled) {
    mRoot.writeFile("etc/systemd/system/" + files.socketUnitName, "[Socket]\n");
    mRoot.writeFile("etc/systemd/system/" + files.serviceUnitName, "[Service]\n");
  }
  if (*c.failingCall != '\0')
    setenv("SYSTEMCTL_FAIL", c.failingCall, 1);

  std::optional<ServiceError> error;
  EXPECT_FALSE(ask(c, &error));
  ASSERT_TRUE(error);
  EXPECT_THAT(error->description(),
              testing::HasSubstr(
                  fmt::format(fmt::runtime(c.descriptionPart), fmt::arg("root", mRoot.path()))));

  EXPECT_FALSE(std::filesystem::exists(files.executable));
  EXPECT_EQ(std::filesystem::exists(files.socketUnit), c.unitsInstalled);
  EXPECT_EQ(std::filesystem::exists(files.serviceUnit), c.unitsInstalled);
}

using Kind = SystemctlOnPath::Kind;
constexpr Request kBless = Request::kBless, kRemove = Request::kRemove;

INSTANTIATE_TEST_SUITE_P(
    Requests, ServiceManagementFailure,
    testing::Values(
        FailureCase{"BlessWithoutAuthorization", Kind::kStandIn, kBless, nullptr, false,
                    "blesshelper was not granted"},
        FailureCase{"BlessWithTheOtherRight", Kind::kStandIn, kBless, &kModifyRightOnly, false,
                    "blesshelper was not granted"},
        FailureCase{"RemoveWithTheOtherRight", Kind::kStandIn, kRemove, &kBlessRightOnly, true,
                    "daemons.modify was not granted"},
        FailureCase{"BlessInAnotherDomain", Kind::kStandIn, Request::kBlessForUser, &kBothRights,
                    false, "unknown service domain \"user\""},
        FailureCase{"BlessWithoutSystemd", Kind::kSystemdNotRunning, kBless, &kBothRights, false,
                    "systemd is not running"},
        FailureCase{"RemoveWithoutSystemd", Kind::kSystemdNotRunning, kRemove, &kBothRights, true,
                    "systemd is not running"},
        FailureCase{"BlessInASandboxWithTheMachinesSystemctl", Kind::kMachineSystemd, kBless,
                    &kBothRights, false, "{root} is a sandbox root"},
        FailureCase{"RemoveInASandboxWithTheMachinesSystemctl", Kind::kMachineSystemd, kRemove,
                    &kBothRights, true, "{root} is a sandbox root"},
        // This test executable carries no launchd property list, unlike zelhelper.
        FailureCase{"BlessAnExecutableWithoutJob", Kind::kStandIn, kBless, &kBothRights, false,
                    ZEL_TEST_EXECUTABLE " carries no launchd property list"},
        FailureCase{"RemoveWhenNothingIsInstalled", Kind::kStandIn, kRemove, &kBothRights, false,
                    "(no net.zel.client-Helper.socket in {root}/etc/systemd/system)"},
        FailureCase{"RemoveWhenSystemdRefuses", Kind::kStandIn, kRemove, &kBothRights, true,
                    "disable --now net.zel.client-Helper.socket net.zel.client-Helper.service "
                    "failed with exit status 1",
                    "disable:1"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zel
