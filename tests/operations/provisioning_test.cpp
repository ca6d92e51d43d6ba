// SPDX-License-Identifier: MIT
// createFile, createDirectory and permitAccessToPath as root, on real files and a sandbox root's
// group file: every outcome with its log lines in order.
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>

#include <fmt/format.h>

#include "platform/volume_path.h"
#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

enum class Operation { kCreateFile, kCreateDirectory, kPermitAccess };

class ProvisioningTest : public OperationsTest {
 public:
  bool run(Operation operation, const std::string& path, const std::string& user,
           const std::string& group) {
    switch (operation) {
      case Operation::kCreateFile:
        return helper().createFile(path, user, group);
      case Operation::kCreateDirectory:
        return helper().createDirectory(path, user, group);
      case Operation::kPermitAccess:
        return helper().permitAccessToPath(path, user, group);
    }
    return false;
  }
  // Paths of the cases are relative to the scratch directory unless they begin with "/".
  std::string pathOf(const std::string& path) const {
    return path.starts_with("/") ? path : scratch(path);
  }

  std::optional<ImmutableItem> mImmutable;  // released before the sandbox is removed
};

constexpr mode_t k0770 = 0770;
constexpr mode_t k2770 = 02770;
constexpr gid_t kAliceGroup = 4242;

struct ProvisionedCase {
  const char* name;
  Operation operation;
  std::function<void(ProvisioningTest&)> setUp;
  const char* path;
  std::vector<std::string> lines;
  // The items afterwards: path (as in `path`) and status.
  std::vector<std::pair<const char*, ItemStatus>> items;
  friend void PrintTo(const ProvisionedCase& c, std::ostream* out) { *out << c.name; }
};

class Provisioned : public ProvisioningTest,
                    public ::testing::WithParamInterface<ProvisionedCase> {};

// The request's group is alice's own, so the group step passes silently.
TEST_P(Provisioned, ItemBelongsToTheGroupWithItsProvisionedMode) {
  if (GetParam().setUp)
    GetParam().setUp(*this);
  EXPECT_TRUE(run(GetParam().operation, pathOf(GetParam().path), "alice", "alice"));
  EXPECT_THAT(systemLines(), LinesMatch(GetParam().lines));
  for (const auto& [path, status] : GetParam().items)
    EXPECT_EQ(statusOf(pathOf(path)), status) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Provisioned,
    ::testing::Values(
        ProvisionedCase{"NewFileBelongsToRoot",
                        Operation::kCreateFile,
                        nullptr,
                        "new",
                        {"ZelHelper createFile: file doesn't exist"},
                        {{"new", {true, 0, kAliceGroup, k0770, false}}}},
        ProvisionedCase{
            "ExistingFileInGroupWithMode0644",
            Operation::kCreateFile,
            [](ProvisioningTest& test) { makeFile(test.pathOf("file"), 0644, 4243, kAliceGroup); },
            "file",
            {"ZelHelper changing file attributes"},
            {{"file", {true, 4243, kAliceGroup, k0770, false}}}},
        ProvisionedCase{"DirectoryOverExistingFile",
                        Operation::kCreateDirectory,
                        [](ProvisioningTest& test) { makeFile(test.pathOf("file"), 0644); },
                        "file",
                        {},
                        {{"file", {true, 0, kAliceGroup, k0770, false}}}},
        ProvisionedCase{"ExistingDirectory",
                        Operation::kCreateDirectory,
                        [](ProvisioningTest& test) { makeDirectory(test.pathOf("dir"), 0700); },
                        "dir",
                        {},
                        {{"dir", {true, 0, kAliceGroup, k2770, true}}}},
        ProvisionedCase{"EveryMissingParent",
                        Operation::kCreateDirectory,
                        nullptr,
                        "a/b/c",
                        {"ZelHelper createDirectory: dir doesn't exist"},
                        {{"a", {true, 0, kAliceGroup, k2770, true}},
                         {"a/b", {true, 0, kAliceGroup, k2770, true}},
                         {"a/b/c", {true, 0, kAliceGroup, k2770, true}}}},
        ProvisionedCase{
            "PermitKeepsOwner",
            Operation::kPermitAccess,
            [](ProvisioningTest& test) { makeDirectory(test.pathOf("dir"), 0755, 4243, 4243); },
            "dir",
            {},
            {{"dir", {true, 4243, kAliceGroup, k2770, true}}}}),
    caseName<ProvisionedCase>);

struct RefusedCase {
  const char* name;
  Operation operation;
  std::function<void(ProvisioningTest&)> setUp;
  const char* path;
  const char* user;
  const char* group;
  std::vector<std::string> lines;
  friend void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }
};

class AnswersNo : public ProvisioningTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(AnswersNo, WithItsMessagesAndNoChangeOnDisk) {
  if (GetParam().setUp)
    GetParam().setUp(*this);
  std::map<std::string, ItemStatus> before = snapshotOf(mRoot.scratch());
  EXPECT_FALSE(
      run(GetParam().operation, pathOf(GetParam().path), GetParam().user, GetParam().group));
  EXPECT_THAT(systemLines(), LinesMatch(GetParam().lines));
  EXPECT_EQ(snapshotOf(mRoot.scratch()), before);
}

void makeImmutableFile(ProvisioningTest& test) {
  makeFile(test.pathOf("file"), 0644);
  test.mImmutable.emplace(test.pathOf("file"));
}

void makeImmutableDirectory(ProvisioningTest& test) {
  makeDirectory(test.pathOf("dir"), 0755);
  test.mImmutable.emplace(test.pathOf("dir"));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, AnswersNo,
    ::testing::Values(
        RefusedCase{"FileOverDirectoryAfterGroupStep",
                    Operation::kCreateFile,
                    [](ProvisioningTest& test) { makeDirectory(test.pathOf("dir"), 0755); },
                    "dir",
                    "alice",
                    "Team",
                    {"ZelHelper group not found"}},
        RefusedCase{"FileWhoseParentIsMissing",
                    Operation::kCreateFile,
                    nullptr,
                    "missing/file",
                    "alice",
                    "alice",
                    {"ZelHelper createFile: file doesn't exist",
                     "ZelHelper createFile: could not create /.*/missing/file: "
                     "/.*/missing: No such file or directory"}},
        RefusedCase{"FileThatCannotBeChanged",
                    Operation::kCreateFile,
                    makeImmutableFile,
                    "file",
                    "alice",
                    "alice",
                    {"ZelHelper changing file attributes", "Error setting file privileges"}},
        RefusedCase{"DirectoryThatCannotBeChanged",
                    Operation::kCreateDirectory,
                    makeImmutableDirectory,
                    "dir",
                    "alice",
                    "alice",
                    {"ZelHelper Error setting dir privileges"}},
        RefusedCase{"DirectoryBelowAFile",
                    Operation::kCreateDirectory,
                    [](ProvisioningTest& test) { makeFile(test.pathOf("file"), 0644); },
                    "file/sub",
                    "alice",
                    "alice",
                    {"ZelHelper createDirectory: dir doesn't exist",
                     "ZelHelper createDirectory: could not create /.*/file/sub: "
                     "/.*/file: Not a directory"}},
        RefusedCase{"DirectoryOnMissingVolume",
                    Operation::kCreateDirectory,
                    nullptr,
                    "/Volumes/ZelTestMissing/Sub",
                    "alice",
                    "alice",
                    {"ZelHelper createDirectory: dir doesn't exist",
                     "ZelHelper::createDirectory: Error volume doesn't exist "
                     "/Volumes/ZelTestMissing"}},
        RefusedCase{"MissingVolumeItself",
                    Operation::kCreateDirectory,
                    nullptr,
                    "/Volumes/ZelTestMissing",
                    "alice",
                    "alice",
                    {"ZelHelper createDirectory: dir doesn't exist",
                     "ZelHelper::createDirectory: Error volume doesn't exist "
                     "/Volumes/ZelTestMissing"}},
        RefusedCase{"PermitOnMissingVolume",
                    Operation::kPermitAccess,
                    nullptr,
                    "/Volumes/ZelTestMissing/Sub",
                    "alice",
                    "Team",
                    {"ZelHelper ERROR permitAccessToPath: volume doesn't exist "
                     "/Volumes/ZelTestMissing"}},
        RefusedCase{"PermitOnVolumePathItself",
                    Operation::kPermitAccess,
                    nullptr,
                    "/Volumes/ZelTestMissing",
                    "alice",
                    "Team",
                    {}},
        RefusedCase{"PermitOnMissingPathBeforeGroupStep",
                    Operation::kPermitAccess,
                    nullptr,
                    "missing",
                    "alice",
                    "Team",
                    {}},
        RefusedCase{"PermitOnItemThatCannotBeChanged",
                    Operation::kPermitAccess,
                    makeImmutableFile,
                    "file",
                    "alice",
                    "alice",
                    {"Error setting path privileges"}},
        RefusedCase{"CreateDirectoryForUnknownUser",
                    Operation::kCreateDirectory,
                    nullptr,
                    "new",
                    "carol",
                    "Team",
                    {"No identity"}}),
    caseName<RefusedCase>);

TEST_F(ProvisioningTest, GroupWithInvalidNameIsFoundAgainAndOwnsItems) {
  ASSERT_TRUE(helper().createDirectory(scratch("one"), "alice", "Zel Home Users"));
  ASSERT_TRUE(helper().createFile(scratch("one/file"), "alice", "Zel Home Users"));
  ASSERT_TRUE(helper().permitAccessToPath(scratch("one/file"), "alice", "Zel Home Users"));
  EXPECT_THAT(systemLines(), ElementsAre("ZelHelper group not found",
                                         "ZelHelper createDirectory: dir doesn't exist",
                                         "ZelHelper createFile: file doesn't exist"));
  // One audit line per change made; the last request changed nothing.
  gid_t group = gidOfGroup(mRoot, "zel-home-users");
  const std::string by =
      "ZelHelper audit: (createDirectory|createFile) for uid 0 \\(root\\) pid [0-9]+: ";
  EXPECT_THAT(auditLines(),
              LinesMatch(std::vector<std::string>{
                  by + fmt::format("created group zel-home-users \\(gid {}, full name \"Zel Home "
                                   "Users\"\\)",
                                   group),
                  by + fmt::format("added user alice to group zel-home-users \\(gid {}\\)", group),
                  by + fmt::format("created directory /.*/one group {} mode 02770", group),
                  by + fmt::format("created file /.*/one/file group {} mode 0770", group)}));

  EXPECT_EQ(statusOf(scratch("one")), (ItemStatus{true, 0, group, k2770, true}));
  EXPECT_EQ(statusOf(scratch("one/file")), (ItemStatus{true, 0, group, k0770, false}));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice"));
}

struct VolumeCase {
  const char* path;
  size_t minimumComponents;
  std::optional<std::string> volume;
};

TEST(VolumePath, IsTheSecondAndThirdComponentOfLiteralVolumesPaths) {
  for (const VolumeCase& c : std::vector<VolumeCase>{
           {"/Volumes/Data/Sub", 3, "/Volumes/Data"},
           {"/Volumes/Data", 3, "/Volumes/Data"},
           {"/Volumes/", 3, "/Volumes/"},
           {"/Volumes/Data", 4, std::nullopt},
           {"/Volumes/Data/", 4, "/Volumes/Data"},
           {"/volumes/Data/Sub", 3, std::nullopt},
           {"/VolumesX/Data/Sub", 3, std::nullopt},
           {"/Volumes", 3, std::nullopt},
       })
    EXPECT_EQ(volumePathOf(c.path, c.minimumComponents), c.volume) << c.path;
}

}  // namespace
}  // namespace zel::test
