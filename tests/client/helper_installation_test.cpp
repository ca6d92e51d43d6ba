// SPDX-License-Identifier: MIT
// ZelHelper's class operations end to end: the stand-in systemctl runs the installed job with
// systemd-socket-activate, so the helper that answers is the real daemon of this executable.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/helper_proxy.h"
#include "client/helper_rights.h"
#include "platform/log.h"
#include "platform/service_management.h"
#include "protocol/zel_helper.h"
#include "resources/labels.h"
#include "tests/client/installed_helper.h"
#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

class HelperInstallation : public test::InstalledHelperTest {
 protected:
  std::string noJobMessage() const {
    return fmt::format("no job labelled {} is installed (no {} in {})", kHelperLabel,
                       mFiles.socketUnitName, mFiles.unitDirectory);
  }
};

TEST_F(HelperInstallation, CreateInstallsAMissingHelper) {
  LogCapture log(LogChannel::kNSLog);
  std::shared_ptr<ZelHelper> helper = ZelHelper::create();

  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->version(), 3u);
  // The removal that finds no job is logged and does not stop the installation.
  EXPECT_THAT(log.lines(), ElementsAre(noJobMessage()));

  struct stat installed;
  ASSERT_EQ(stat(mFiles.executable.c_str(), &installed), 0);
  EXPECT_EQ(installed.st_mode & 07777, 0755u);
  EXPECT_EQ(installed.st_uid, 0u);
  EXPECT_EQ(installed.st_size, std::filesystem::file_size(ZEL_TEST_EXECUTABLE));
  struct stat socket;
  ASSERT_EQ(stat(helperSocketPath(kMachServiceName).c_str(), &socket), 0);
  EXPECT_EQ(socket.st_mode & 0777, 0666u);
}

TEST_F(HelperInstallation, CreateLeavesACurrentHelperAloneAndAsksNoAuthorization) {
  ASSERT_NE(ZelHelper::install(), nullptr);
  struct stat before;
  ASSERT_EQ(stat(mFiles.executable.c_str(), &before), 0);

  // An ordinary user is refused any authorization, and would log so if one were asked for.
  EXPECT_EQ(test::runAs(test::kAlice,
                        [] {
                          LogCapture log(LogChannel::kNSLog);
                          std::shared_ptr<ZelHelper> helper = ZelHelper::create();
                          EXPECT_EQ(helper ? helper->version() : 0, 3u);
                          EXPECT_THAT(log.lines(), IsEmpty());
                          return testing::Test::HasFailure() ? 1 : 0;
                        }),
            0);

  struct stat after;
  ASSERT_EQ(stat(mFiles.executable.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

class OutdatedHelper : public HelperInstallation, public testing::WithParamInterface<uint32_t> {};

TEST_P(OutdatedHelper, IsReplacedByCreate) {
  installFakeHelper(GetParam());
  std::shared_ptr<ZelHelper> old = connectToHelper(kMachServiceName);
  ASSERT_NE(old, nullptr);
  ASSERT_EQ(old->version(), GetParam());
  pid_t oldPid = *jobPid();

  LogCapture log(LogChannel::kNSLog);
  std::shared_ptr<ZelHelper> helper = ZelHelper::create();
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->version(), 3u);
  EXPECT_THAT(log.lines(), IsEmpty());
  EXPECT_TRUE(test::processEnded(oldPid));
  EXPECT_NE(*jobPid(), oldPid);
}

INSTANTIATE_TEST_SUITE_P(Versions, OutdatedHelper, testing::Values(0u, 1u, 2u));

TEST_F(HelperInstallation, AnOrdinaryUserGetsNoAuthorizationAndNoHelper) {
  int status = test::runAs(test::kAlice, [] {
    LogCapture log(LogChannel::kNSLog);
    EXPECT_EQ(ZelHelper::create(), nullptr);
    EXPECT_THAT(log.lines(), ElementsAre(HasSubstr("-60005"), "ZelHelper Error authRef nil"));
    return testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(std::filesystem::exists(mFiles.executable));
  EXPECT_FALSE(std::filesystem::exists(mFiles.socketUnit));
}

struct BlessFailure {
  const char* name;
  const char* failingCall;
  bool jobEnabled;  // the first bless succeeded
};

class FailingBless : public HelperInstallation, public testing::WithParamInterface<BlessFailure> {};

TEST_P(FailingBless, IsLoggedOnceAndYieldsNoHelper) {
  setenv("SYSTEMCTL_FAIL", GetParam().failingCall, 1);
  LogCapture log(LogChannel::kNSLog);
  EXPECT_EQ(ZelHelper::install(), nullptr);
  EXPECT_THAT(log.lines(),
              ElementsAre(noJobMessage(), HasSubstr("enable --now net.zel.client-Helper.socket"),
                          "ZelHelper Error blessing helper"));
  unsetenv("SYSTEMCTL_FAIL");
  EXPECT_EQ(
      std::system(
          fmt::format("systemctl is-enabled {} >/dev/null", mFiles.socketUnitName).c_str()) == 0,
      GetParam().jobEnabled);
}

INSTANTIATE_TEST_SUITE_P(Blesses, FailingBless,
                         testing::Values(BlessFailure{"First", "enable:1", false},
                                         BlessFailure{"Second", "enable:2", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HelperInstallation, RemoveStopsTheDaemonBeforeItReturns) {
  std::shared_ptr<ZelHelper> helper = ZelHelper::install();
  ASSERT_NE(helper, nullptr);
  ASSERT_EQ(helper->version(), 3u);  // the daemon runs
  pid_t daemon = *jobPid();

  std::unique_ptr<Authorization> authRef;
  ASSERT_EQ(createHelperAuthorization(&authRef), errAuthorizationSuccess);
  LogCapture log(LogChannel::kNSLog);
  EXPECT_TRUE(ZelHelper::remove(authRef.get()));
  EXPECT_TRUE(test::processEnded(daemon));
  EXPECT_THAT(log.lines(), IsEmpty());
  EXPECT_EQ(helper->version(), 0u);
  for (const std::string& path : {mFiles.executable, mFiles.socketUnit, mFiles.serviceUnit,
                                  helperSocketPath(kMachServiceName)}) {
    EXPECT_FALSE(std::filesystem::exists(path)) << path;
  }
}

}  // namespace
}  // namespace zel
