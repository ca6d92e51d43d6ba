// SPDX-License-Identifier: MIT
// ZelHelperMgr: the shared manager's properties and replacement, and its local file
// operations, which act with the client's own rights.
#include <filesystem>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/zel_helper_mgr.h"
#include "platform/log.h"
#include "tests/client/installed_helper.h"
#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

class HelperManager : public test::InstalledHelperTest {};

struct Holder {
  test::SandboxUser user;
  const char* userName;    // nullptr: the uid has no identity
  uint32_t helperVersion;  // 0: no helper installed
};

// Each user finds the helper when there is one, and is named by the login name.
class ManagerHolds : public HelperManager, public testing::WithParamInterface<Holder> {};

TEST_P(ManagerHolds, TheHelperTheUserAndTheGroup) {
  const Holder& c = GetParam();
  if (c.helperVersion != 0)
    installFakeHelper(c.helperVersion);
  EXPECT_EQ(test::runAs(c.user,
                        [&c] {
                          LogCapture log(LogChannel::kNSLog);
                          ZelHelperMgr::createWithGroupName("zelusers");
                          auto manager = ZelHelperMgr::shared();
                          EXPECT_EQ(*manager->groupName(), "zelusers");
                          auto helper = manager->helper();
                          EXPECT_EQ(helper ? helper->version() : 0, c.helperVersion);
                          if (c.userName) {
                            EXPECT_EQ(*manager->posixUserName(), c.userName);
                          } else {
                            EXPECT_EQ(manager->posixUserName(), nullptr);
                            EXPECT_THAT(log.lines(), testing::Contains(testing::HasSubstr(
                                                         "no identity for the current user")));
                          }
                          return testing::Test::HasFailure() ? 1 : 0;
                        }),
            0);
}

INSTANTIATE_TEST_SUITE_P(Users, ManagerHolds,
                         testing::Values(Holder{test::kAlice, "alice", 3},
                                         Holder{test::kBob, "bob", 0},
                                         Holder{{"stranger", 4299, 4299}, nullptr, 0}));

TEST_F(HelperManager, ASecondManagerReplacesAndDestroysTheFirst) {
  installFakeHelper(3);
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

// (Which paths lie on a volume is the volume path table's; here, that the manager asks.)
TEST_F(HelperManager, CreatesOnlyFreePathsAndNothingOnAMissingVolume) {
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
                          manager->createDirectory(dir + "/a/b");
                          LogCapture log(LogChannel::kSystemLog);
                          manager->createDirectory("/Volumes/ZelTestMissing");
                          EXPECT_THAT(log.lines(),
                                      testing::ElementsAre(testing::HasSubstr(
                                          "volume doesn't exist /Volumes/ZelTestMissing")));
                          return testing::Test::HasFailure() ? 1 : 0;
                        }),
            0);
  EXPECT_EQ(mRoot.readFile("scratch/taken"), "contents");
  EXPECT_TRUE(fs::is_directory(dir + "/folder"));
  EXPECT_TRUE(fs::is_regular_file(dir + "/free"));
  EXPECT_EQ(fs::file_size(dir + "/free"), 0u);
  EXPECT_FALSE(fs::exists(dir + "/missing"));
  EXPECT_TRUE(fs::is_directory(dir + "/a/b"));
}

}  // namespace
}  // namespace zel
