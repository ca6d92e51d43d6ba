// SPDX-License-Identifier: MIT
// ZelHelperMgr: the shared manager's properties and replacement, and its local file
// operations, which act with the client's own rights.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/zel_helper_mgr.h"
#include "platform/log.h"
#include "tests/client/installed_helper.h"
#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::IsEmpty;

// Runs `body` in a child whose root directory is `root`, as alice; its exit status.
int runChrootedAsAlice(const std::string& root, const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    gid_t gid = test::kAlice.gid;
    uid_t uid = test::kAlice.uid;
    if (chroot(root.c_str()) != 0 || chdir("/") != 0 || setgroups(0, nullptr) != 0 ||
        setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) {
      _exit(125);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class HelperManager : public test::InstalledHelperTest {};

TEST_F(HelperManager, HoldsTheHelperTheUserAndTheGroup) {
  ZelHelperMgr::createWithGroupName("zelusers");
  std::shared_ptr<ZelHelperMgr> manager = ZelHelperMgr::shared();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(*manager->groupName(), "zelusers");
  EXPECT_EQ(*manager->posixUserName(), "root");
  ASSERT_NE(manager->helper(), nullptr);
  EXPECT_EQ(manager->helper()->version(), 3u);

  // An ordinary user finds the current helper and is named by its own login name.
  EXPECT_EQ(test::runAs(test::kAlice,
                        [] {
                          ZelHelperMgr::createWithGroupName("zelusers");
                          auto alice = ZelHelperMgr::shared();
                          EXPECT_EQ(*alice->posixUserName(), "alice");
                          EXPECT_EQ(alice->helper() ? alice->helper()->version() : 0, 3u);
                          return testing::Test::HasFailure() ? 1 : 0;
                        }),
            0);
}

TEST_F(HelperManager, IsSetUpEvenWithoutAHelper) {
  EXPECT_EQ(test::runAs(test::kBob,
                        [] {
                          ZelHelperMgr::createWithGroupName("zelusers");
                          auto manager = ZelHelperMgr::shared();
                          EXPECT_EQ(manager->helper(), nullptr);
                          EXPECT_EQ(*manager->groupName(), "zelusers");
                          EXPECT_EQ(*manager->posixUserName(), "bob");
                          return testing::Test::HasFailure() ? 1 : 0;
                        }),
            0);
}

TEST_F(HelperManager, WithoutAnIdentityLeavesTheUserNameNil) {
  constexpr test::SandboxUser kStranger{"stranger", 4299, 4299};
  EXPECT_EQ(test::runAs(kStranger,
                        [] {
                          LogCapture log(LogChannel::kNSLog);
                          ZelHelperMgr::createWithGroupName("zelusers");
                          auto manager = ZelHelperMgr::shared();
                          EXPECT_EQ(manager->posixUserName(), nullptr);
                          EXPECT_EQ(*manager->groupName(), "zelusers");
                          EXPECT_EQ(log.lines().back(),
                                    "ZelHelper Error no identity for the current user (uid 4299)");
                          return testing::Test::HasFailure() ? 1 : 0;
                        }),
            0);
}

TEST_F(HelperManager, ASecondManagerReplacesAndDestroysTheFirst) {
  ZelHelperMgr::createWithGroupName("first");
  std::weak_ptr<ZelHelperMgr> first = ZelHelperMgr::shared();
  std::weak_ptr<ZelHelper> firstHelper = first.lock()->helper();
  ASSERT_FALSE(firstHelper.expired());

  ZelHelperMgr::createWithGroupName("second");
  EXPECT_TRUE(first.expired());
  EXPECT_TRUE(firstHelper.expired());
  EXPECT_EQ(*ZelHelperMgr::shared()->groupName(), "second");
  EXPECT_NE(ZelHelperMgr::shared()->helper(), nullptr);
}

struct DirectoryCase {
  const char* name;
  const char* path;
  const char* existing;  // a directory that exists beforehand, or ""
  bool created;
  const char* volumeMessage;  // the volume logged, or ""
};

class ManagerCreateDirectory : public testing::TestWithParam<DirectoryCase> {
 protected:
  test::SandboxRoot mRoot;
};

// In a root of its own, so that /Volumes and /volumes can be made and looked at.
TEST_P(ManagerCreateDirectory, ChecksTheVolumeOnlyUnderVolumes) {
  const DirectoryCase& c = GetParam();
  std::string top = mRoot.at("chroot");
  fs::create_directories(top);
  for (const char* dir : {"/Volumes", "/volumes"}) {
    fs::create_directories(top + dir);
    fs::permissions(top + dir, fs::perms::all);
  }
  if (*c.existing != '\0') {
    fs::create_directories(top + c.existing);
    fs::permissions(top + c.existing, fs::perms::all);
  }

  int status = runChrootedAsAlice(top, [&c] {
    ZelHelperMgr::createWithGroupName("zelusers");
    LogCapture log(LogChannel::kSystemLog);
    ZelHelperMgr::shared()->createDirectory(c.path);
    EXPECT_EQ(fs::is_directory(c.path), c.created);
    if (*c.volumeMessage != '\0') {
      EXPECT_THAT(log.lines(), ElementsAre(fmt::format(
                                   "ZelHelper::createDirectory: Error volume doesn't exist {}",
                                   c.volumeMessage)));
    } else {
      EXPECT_THAT(log.lines(), IsEmpty());
    }
    return testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ManagerCreateDirectory,
    testing::Values(
        DirectoryCase{"VolumeNotMounted", "/Volumes/Backup/Data", "", false, "/Volumes/Backup"},
        DirectoryCase{"VolumeMounted", "/Volumes/Backup/Data/Deep", "/Volumes/Backup", true, ""},
        DirectoryCase{"VolumeItself", "/Volumes/Backup", "", false, "/Volumes/Backup"},
        DirectoryCase{"OtherCase", "/volumes/x/y", "", true, ""},
        DirectoryCase{"VolumesWithoutSlash", "/Volumes", "", true, ""},
        DirectoryCase{"OutsideVolumes", "/tmp/a/b", "/tmp", true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HelperManager, CreateFileTouchesOnlyFreePaths) {
  std::string dir = mRoot.scratch();
  mRoot.writeFile("scratch/taken", "contents");
  fs::create_directory(dir + "/folder");
  EXPECT_EQ(test::runAs(test::kAlice,
                        [&dir] {
                          ZelHelperMgr::createWithGroupName("zelusers");
                          auto manager = ZelHelperMgr::shared();
                          for (const char* name : {"taken", "folder", "free", "missing/free"})
                            manager->createFile(dir + "/" + name);
                          EXPECT_TRUE(manager->permitAccessToPath(dir + "/nothing"));
                          return 0;
                        }),
            0);
  EXPECT_EQ(mRoot.readFile("scratch/taken"), "contents");
  EXPECT_TRUE(fs::is_directory(dir + "/folder"));
  EXPECT_TRUE(fs::is_regular_file(dir + "/free"));
  EXPECT_EQ(fs::file_size(dir + "/free"), 0u);
  EXPECT_FALSE(fs::exists(dir + "/missing"));
}

}  // namespace
}  // namespace zel
