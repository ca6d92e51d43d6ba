// SPDX-License-Identifier: MIT
// ZelHelperMgr: the shared manager's properties, and its local file operations, which act with the
// client's own rights.
#include "client/zel_helper_mgr.h"

#include <filesystem>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/log.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/installed_helper.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;

class HelperManager : public test::InstalledHelperTest {};

// alice finds the helper and is named by her login name; a uid without identity is not.
TEST_F(HelperManager, HoldsTheHelperTheUserAndTheGroup) {
  installFakeHelper(3);
  for (const test::SandboxUser& user : {test::kAlice, test::SandboxUser{"stranger", 4299, 4299}}) {
    EXPECT_EQ(test::runAs(user,
                          [&user] {
                            LogCapture log(LogChannel::kNSLog);
                            ZelHelperMgr::createWithGroupName("zelusers");
                            auto manager = ZelHelperMgr::shared();
                            EXPECT_EQ(*manager->groupName(), "zelusers");
                            EXPECT_EQ(manager->helper() ? manager->helper()->version() : 0, 3u);
                            if (user.uid == test::kAlice.uid)
                              EXPECT_EQ(*manager->posixUserName(), "alice");
                            else
                              EXPECT_THAT(log.lines(), testing::Contains(HasSubstr("no identity")));
                            return testing::Test::HasFailure() ? 1 : 0;
                          }),
              0)
        << user.name;
  }
}

// (Which paths lie on a volume is the volume path table's; here, that the manager asks.)
TEST_F(HelperManager, CreatesOnlyFreePathsAndNothingOnAMissingVolume) {
  std::string dir = mRoot.scratch();
  mRoot.writeFile("scratch/taken", "contents");
  fs::permissions(dir + "/taken", fs::perms::all);  // alice could truncate it
  fs::create_directory(dir + "/folder");
  EXPECT_EQ(
      test::runAs(test::kAlice,
                  [&dir] {
                    ZelHelperMgr::createWithGroupName("zelusers");
                    auto manager = ZelHelperMgr::shared();
                    for (const char* name : {"taken", "folder", "free", "missing/free"})
                      manager->createFile(dir + "/" + name);
                    EXPECT_TRUE(manager->permitAccessToPath(dir + "/nothing"));
                    manager->createDirectory(dir + "/a/b");
                    LogCapture log(LogChannel::kSystemLog);
                    manager->createDirectory("/Volumes/ZelTestMissing");
                    EXPECT_THAT(
                        log.lines(),
                        ElementsAre(HasSubstr("volume doesn't exist /Volumes/ZelTestMissing")));
                    return testing::Test::HasFailure() ? 1 : 0;
                  }),
      0);
  EXPECT_EQ(mRoot.readFile("scratch/taken"), "contents");
  EXPECT_TRUE(fs::is_directory(dir + "/folder"));
  EXPECT_TRUE(fs::is_regular_file(dir + "/free") && fs::file_size(dir + "/free") == 0);
  EXPECT_FALSE(fs::exists(dir + "/missing"));
  EXPECT_TRUE(fs::is_directory(dir + "/a/b"));
}

}  // namespace
}  // namespace zel
