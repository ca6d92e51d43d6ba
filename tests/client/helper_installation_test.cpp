// SPDX-License-Identifier: MIT
// ZelHelper's class operations and ZelHelperMgr end to end: the stand-in systemctl runs the
// installed job with systemd-socket-activate, so the helper that answers is the real daemon of
// this executable. The manager's local file operations act with the client's own rights.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/helper_proxy.h"
#include "client/helper_rights.h"
#include "client/zel_helper_mgr.h"
#include "platform/log.h"
#include "platform/service_management.h"
#include "protocol/zel_helper.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/installed_helper.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

class HelperInstallation : public test::InstalledHelperTest {};

TEST_F(HelperInstallation, CreateInstallsAMissingHelperAndRemoveStopsItBeforeItReturns) {
  LogCapture log(LogChannel::kNSLog);
  std::shared_ptr<ZelHelper> helper = ZelHelper::create();
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->version(), 3u);
  // The removal that finds no job is logged and does not stop the installation.
  EXPECT_THAT(log.lines(),
              ElementsAre(fmt::format("no job labelled {} is installed (no {} in {})", kHelperLabel,
                                      mFiles.socketUnitName, mFiles.unitDirectory)));
  struct stat installed, socket;
  ASSERT_EQ(stat(mFiles.executable.c_str(), &installed), 0);
  EXPECT_EQ(installed.st_mode & 07777, 0755u);
  EXPECT_EQ(installed.st_size, fs::file_size("/proc/self/exe"));
  ASSERT_EQ(stat(helperSocketPath(kMachServiceName).c_str(), &socket), 0);
  EXPECT_EQ(socket.st_mode & 0777, 0666u);

  const pid_t daemon = *jobPid();
  std::unique_ptr<Authorization> authRef;
  ASSERT_EQ(createHelperAuthorization(&authRef), errAuthorizationSuccess);
  EXPECT_TRUE(ZelHelper::remove(authRef.get()));
  EXPECT_TRUE(test::processEnded(daemon));
  EXPECT_EQ(log.lines().size(), 1u);
  EXPECT_EQ(helper->version(), 0u);
  for (const std::string& path : {mFiles.executable, mFiles.socketUnit, mFiles.serviceUnit,
                                  helperSocketPath(kMachServiceName)}) {
    EXPECT_FALSE(fs::exists(path)) << path;
  }
}

TEST_F(HelperInstallation, CreateReplacesAnOutdatedHelper) {
  installFakeHelper(ZelHelper::kInterfaceVersion - 1);
  std::shared_ptr<ZelHelper> old = connectToHelper(kMachServiceName);
  ASSERT_EQ(old ? old->version() : 0, ZelHelper::kInterfaceVersion - 1);
  const pid_t oldPid = *jobPid();
  LogCapture log(LogChannel::kNSLog);
  std::shared_ptr<ZelHelper> helper = ZelHelper::create();
  EXPECT_EQ(helper ? helper->version() : 0, 3u);
  EXPECT_THAT(log.lines(), IsEmpty());
  EXPECT_TRUE(test::processEnded(oldPid));
  EXPECT_NE(*jobPid(), oldPid);
}

// An ordinary user is refused any authorization: with a current helper installed, create() asks
// for none and leaves the helper alone; with none, it yields no helper and installs nothing.
class OrdinaryUser : public HelperInstallation, public testing::WithParamInterface<bool> {};

TEST_P(OrdinaryUser, CreateNeedsNoAuthorizationOnlyForACurrentHelper) {
  const bool installed = GetParam();
  struct stat before {
  }, after{};
  if (installed) {
    ASSERT_NE(ZelHelper::install(), nullptr);
    ASSERT_EQ(stat(mFiles.executable.c_str(), &before), 0);
  }
  EXPECT_EQ(test::runAs(test::kAlice,
                        [installed] {
                          LogCapture log(LogChannel::kNSLog);
                          std::shared_ptr<ZelHelper> helper = ZelHelper::create();
                          EXPECT_EQ(helper ? helper->version() : 0, installed ? 3u : 0u);
                          if (installed)
                            EXPECT_THAT(log.lines(), IsEmpty());
                          else
                            EXPECT_THAT(log.lines(), ElementsAre(HasSubstr("return code -6000"),
                                                                 "ZelHelper Error authRef nil"));
                          return testing::Test::HasFailure() ? 1 : 0;
                        }),
            0);
  EXPECT_EQ(stat(mFiles.executable.c_str(), &after) == 0, installed);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(fs::exists(mFiles.socketUnit), installed);
}

INSTANTIATE_TEST_SUITE_P(HelperInstalled, OrdinaryUser, testing::Bool());

class HelperManager : public test::InstalledHelperTest {};

// alice finds the helper, is named by her login name, and creates only what is free; a uid
// without identity is not named. (Which paths lie on a volume is the volume path table's; here,
// that the manager asks.)
TEST_F(HelperManager, HoldsTheHelperTheUserAndTheGroupAndCreatesOnlyFreePaths) {
  installFakeHelper(3);
  const std::string dir = mRoot.scratch();
  mRoot.writeFile("scratch/taken", "contents");
  fs::permissions(dir + "/taken", fs::perms::all);  // alice could truncate it
  fs::create_directory(dir + "/folder");
  for (const test::SandboxUser& user : {test::kAlice, test::SandboxUser{"stranger", 4299, 4299}}) {
    const bool alice = user.uid == test::kAlice.uid;
    EXPECT_EQ(
        test::runAs(user,
                    [alice, &dir] {
                      LogCapture log(LogChannel::kNSLog);
                      ZelHelperMgr::createWithGroupName("zelusers");
                      auto manager = ZelHelperMgr::shared();
                      EXPECT_EQ(*manager->groupName(), "zelusers");
                      EXPECT_EQ(manager->helper() ? manager->helper()->version() : 0, 3u);
                      if (!alice) {
                        EXPECT_THAT(log.lines(), testing::Contains(HasSubstr("no identity")));
                        return testing::Test::HasFailure() ? 1 : 0;
                      }
                      EXPECT_EQ(*manager->posixUserName(), "alice");
                      for (const char* name : {"taken", "folder", "free", "missing/free"})
                        manager->createFile(dir + "/" + name);
                      EXPECT_TRUE(manager->permitAccessToPath(dir + "/nothing"));
                      manager->createDirectory(dir + "/a/b");
                      LogCapture systemLog(LogChannel::kSystemLog);
                      manager->createDirectory("/Volumes/ZelTestMissing");
                      EXPECT_THAT(
                          systemLog.lines(),
                          ElementsAre(HasSubstr("volume doesn't exist /Volumes/ZelTestMissing")));
                      return testing::Test::HasFailure() ? 1 : 0;
                    }),
        0)
        << user.name;
  }
  EXPECT_EQ(mRoot.readFile("scratch/taken"), "contents");
  EXPECT_TRUE(fs::is_directory(dir + "/folder"));
  EXPECT_TRUE(fs::is_regular_file(dir + "/free") && fs::file_size(dir + "/free") == 0);
  EXPECT_FALSE(fs::exists(dir + "/missing"));
  EXPECT_TRUE(fs::is_directory(dir + "/a/b"));
}

}  // namespace
}  // namespace zel
