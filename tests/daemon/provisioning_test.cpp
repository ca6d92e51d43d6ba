// SPDX-License-Identifier: MIT
// createFile, createDirectory and permitAccessToPath as root through the daemon, on real files
// and a sandbox root's group file: each outcome with its log lines in order.
#include <sys/stat.h>

#include "tests/daemon/daemon_test.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;

constexpr gid_t kAliceGroup = 4242;
using enum Op;

class ProvisioningTest : public DaemonTest {
 public:
  bool run(Op op, const std::string& path, const std::string& group) {
    return call(helper(), op, path, "alice", group);
  }
  // Paths of the cases are relative to the scratch directory unless they begin with "/".
  std::string pathOf(const std::string& path) const {
    return path.starts_with("/") ? path : scratch(path);
  }

  std::optional<ImmutableItem> mImmutable;  // released before the sandbox is removed
};

enum Setup { kNothing, kFile, kDirectory, kImmutableFile, kImmutableDir };

struct OutcomeCase {
  const char* name;
  Op operation;
  Setup setUp;  // of "item", mode 0644 (file) or 0755 (directory), owned by bob
  const char* path;
  const char* group;  // alice's own passes the group step silently
  const char* lines;  // patterns, one a line
  uid_t owner = 0;    // of `path` and its new parents, in alice's group; for a YES only
  mode_t mode = 0;    // 0 for a NO, which changes nothing on disk
  friend void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }
};

class Outcome : public ProvisioningTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcome, ItemBelongsToTheGroupWithItsModeOrNothingChanges) {
  const OutcomeCase& c = GetParam();
  if (c.setUp == kFile || c.setUp == kImmutableFile)
    makeFile(scratch("item"), 0644, kBob.uid, kBob.gid);
  if (c.setUp == kDirectory || c.setUp == kImmutableDir)
    makeDirectory(scratch("item"), 0755, kBob.uid, kBob.gid);
  if (c.setUp == kImmutableFile || c.setUp == kImmutableDir)
    mImmutable.emplace(scratch("item"));
  std::map<std::string, ItemStatus> before = snapshotOf(mRoot.scratch());
  EXPECT_EQ(run(c.operation, pathOf(c.path), c.group), c.mode != 0);
  EXPECT_THAT(systemLines(), LinesMatch(linesOf(c.lines)));
  if (c.mode == 0) {
    EXPECT_EQ(snapshotOf(mRoot.scratch()), before);
  }
  // `path` and each of its new parents.
  for (std::string made = c.path; c.mode != 0 && !made.empty();) {
    bool directory = (c.mode & S_ISGID) != 0;
    EXPECT_EQ(statusOf(pathOf(made)), (ItemStatus{true, c.owner, kAliceGroup, c.mode, directory}))
        << made;
    size_t slash = made.rfind('/');
    made = slash == std::string::npos ? "" : made.substr(0, slash);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Outcome,
    ::testing::Values(
        OutcomeCase{"NewFileBelongsToRoot", kCreateFile, kNothing, "new", "alice",
                    "ZelHelper createFile: file doesn't exist", 0, 0770},
        OutcomeCase{"ExistingFileKeepsItsOwner", kCreateFile, kFile, "item", "alice",
                    "ZelHelper changing file attributes", kBob.uid, 0770},
        OutcomeCase{"EveryMissingParent", kCreateDirectory, kNothing, "a/b/c", "alice",
                    "ZelHelper createDirectory: dir doesn't exist", 0, 02770},
        OutcomeCase{"PermitKeepsOwner", kPermitAccess, kDirectory, "item", "alice", "", kBob.uid,
                    02770},
        OutcomeCase{"FileOverDirectory", kCreateFile, kDirectory, "item", "Team",
                    "ZelHelper group not found"},
        OutcomeCase{"ImmutableFile", kCreateFile, kImmutableFile, "item", "alice",
                    "ZelHelper changing file attributes\nError setting file privileges"},
        OutcomeCase{"ImmutableDirectory", kCreateDirectory, kImmutableDir, "item", "alice",
                    "ZelHelper Error setting dir privileges"},
        OutcomeCase{"PermitOnImmutable", kPermitAccess, kImmutableFile, "item", "alice",
                    "Error setting path privileges"},
        OutcomeCase{
            "DirectoryBelowAFile", kCreateDirectory, kFile, "item/sub", "alice",
            "ZelHelper createDirectory: dir doesn't exist\n.* could not create .*Not a directory"},
        OutcomeCase{
            "FileWhoseParentIsMissing", kCreateFile, kNothing, "missing/file", "alice",
            "ZelHelper createFile: file doesn't exist\n.* could not create .*No such file.*"},
        OutcomeCase{
            "DirectoryOnMissingVolume", kCreateDirectory, kNothing, "/Volumes/ZelTestMissing",
            "alice",
            "ZelHelper createDirectory: dir doesn't exist\n.*volume doesn't exist /Volumes/.*"},
        OutcomeCase{"PermitOnMissingVolume", kPermitAccess, kNothing, "/Volumes/ZelTestMissing/Sub",
                    "Team", ".*permitAccessToPath: volume doesn't exist /Volumes/.*"},
        OutcomeCase{"PermitOnMissingPath", kPermitAccess, kNothing, "missing", "Team", ""}),
    caseName<OutcomeCase>);

TEST_F(ProvisioningTest, GroupWithInvalidNameIsFoundAgainAndOwnsItems) {
  ASSERT_TRUE(run(kCreateDirectory, scratch("one"), "Zel Home Users"));
  ASSERT_TRUE(run(kCreateFile, scratch("one/file"), "Zel Home Users"));
  ASSERT_TRUE(run(kPermitAccess, scratch("one/file"), "Zel Home Users"));
  EXPECT_THAT(systemLines(), ElementsAre("ZelHelper group not found",
                                         "ZelHelper createDirectory: dir doesn't exist",
                                         "ZelHelper createFile: file doesn't exist"));
  // One audit line per change made; the last request changed nothing.
  const std::string by =
      "ZelHelper audit: (createDirectory|createFile) for uid 0 \\(root\\) pid [0-9]+: ";
  EXPECT_THAT(auditLines(),
              LinesMatch(std::vector<std::string>{
                  by + "created group zel-home-users .*full name \"Zel Home Users\".*",
                  by + "added user alice to group zel-home-users .*",
                  by + "created directory /.*/one group [0-9]+ mode 02770",
                  by + "created file /.*/one/file group [0-9]+ mode 0770"}));
  gid_t group = gidOfGroup(mRoot, "zel-home-users");
  EXPECT_EQ(statusOf(scratch("one")), (ItemStatus{true, 0, group, 02770, true}));
  EXPECT_EQ(statusOf(scratch("one/file")), (ItemStatus{true, 0, group, 0770, false}));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice"));
}

}  // namespace
}  // namespace zel::test
