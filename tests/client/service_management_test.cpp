// SPDX-License-Identifier: MIT
// The ways blessing and removing a job fail before or while systemctl acts, each with the
// description that says what failed, and what is left on disk. (Successful blessing and
// removing run end to end in the helper installation tests.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

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

struct FailureCase {
  const char* name;
  SystemctlOnPath::Kind systemctl;
  bool unitsInstalled;
  const char* failingCall;  // SYSTEMCTL_FAIL for the stand-in, or ""
  std::function<bool(std::optional<ServiceError>*)> request;
  // The description, with {root} for the sandbox root.
  const char* description;
};

bool bless(const Authorization* authorization, std::optional<ServiceError>* error,
           std::string_view domain = kSMDomainSystemLaunchd) {
  return SMJobBless(domain, kHelperLabel, authorization, error);
}

bool remove(const Authorization* authorization, std::optional<ServiceError>* error) {
  return SMJobRemove(kSMDomainSystemLaunchd, kHelperLabel, authorization, true, error);
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
  EXPECT_FALSE(c.request(&error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->description(),
            fmt::format(fmt::runtime(c.description), fmt::arg("root", mRoot.path())));

  EXPECT_FALSE(std::filesystem::exists(files.executable));
  EXPECT_EQ(std::filesystem::exists(files.socketUnit), c.unitsInstalled);
  EXPECT_EQ(std::filesystem::exists(files.serviceUnit), c.unitsInstalled);
}

using Kind = SystemctlOnPath::Kind;

INSTANTIATE_TEST_SUITE_P(
    Requests, ServiceManagementFailure,
    testing::Values(
        FailureCase{"BlessWithoutAuthorization", Kind::kStandIn, false, "",
                    [](auto* e) { return bless(nullptr, e); },
                    "not authorized to change the job net.zel.client-Helper: the right "
                    "com.apple.ServiceManagement.blesshelper was not granted"},
        FailureCase{"BlessWithTheOtherRight", Kind::kStandIn, false, "",
                    [](auto* e) { return bless(&kModifyRightOnly, e); },
                    "not authorized to change the job net.zel.client-Helper: the right "
                    "com.apple.ServiceManagement.blesshelper was not granted"},
        FailureCase{"RemoveWithTheOtherRight", Kind::kStandIn, true, "",
                    [](auto* e) { return remove(&kBlessRightOnly, e); },
                    "not authorized to change the job net.zel.client-Helper: the right "
                    "com.apple.ServiceManagement.daemons.modify was not granted"},
        FailureCase{"BlessInAnotherDomain", Kind::kStandIn, false, "",
                    [](auto* e) { return bless(&kBothRights, e, "user"); },
                    "unknown service domain \"user\""},
        FailureCase{"BlessWithoutSystemd", Kind::kSystemdNotRunning, false, "",
                    [](auto* e) { return bless(&kBothRights, e); },
                    "systemd is not running on this machine (no /run/systemd/system), so the "
                    "helper cannot be installed or removed"},
        FailureCase{"RemoveWithoutSystemd", Kind::kSystemdNotRunning, true, "",
                    [](auto* e) { return remove(&kBothRights, e); },
                    "systemd is not running on this machine (no /run/systemd/system), so the "
                    "helper cannot be installed or removed"},
        FailureCase{"BlessInASandboxWithTheMachinesSystemctl", Kind::kMachineSystemd, false, "",
                    [](auto* e) { return bless(&kBothRights, e); },
                    "{root} is a sandbox root, whose units this machine's systemd never reads: "
                    "only a stand-in systemctl first on PATH may act there"},
        FailureCase{"RemoveInASandboxWithTheMachinesSystemctl", Kind::kMachineSystemd, true, "",
                    [](auto* e) { return remove(&kBothRights, e); },
                    "{root} is a sandbox root, whose units this machine's systemd never reads: "
                    "only a stand-in systemctl first on PATH may act there"},
        // This test executable carries no launchd property list, unlike zelhelper.
        FailureCase{"BlessAnExecutableWithoutJob", Kind::kStandIn, false, "",
                    [](auto* e) { return bless(&kBothRights, e); },
                    ZEL_TEST_EXECUTABLE " carries no launchd property list (section "
                                        "__launchd_plist) to bless"},
        FailureCase{"RemoveWhenNothingIsInstalled", Kind::kStandIn, false, "",
                    [](auto* e) { return remove(&kBothRights, e); },
                    "no job labelled net.zel.client-Helper is installed (no "
                    "net.zel.client-Helper.socket in {root}/etc/systemd/system)"},
        FailureCase{"RemoveWhenSystemdRefuses", Kind::kStandIn, true, "disable:1",
                    [](auto* e) { return remove(&kBothRights, e); },
                    "systemctl disable --now net.zel.client-Helper.socket "
                    "net.zel.client-Helper.service failed with exit status 1: Failed to disable "
                    "unit: the test made this call fail."}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zel
