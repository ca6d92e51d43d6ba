// SPDX-License-Identifier: MIT
// createFile, createDirectory and permitAccessToPath as root through the daemon, on real files
// and a sandbox root's group file written by the real groupadd and gpasswd: each outcome with its
// log lines in order.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/full_name_record.h"
#include "platform/identity_authority.h"
#include "tests/daemon/daemon_test.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using enum Op;

class ProvisioningTest : public DaemonTest {
 public:
  bool run(Op op, const std::string& path, const std::string& group,
           const std::string& user = "alice") {
    return call(helper(), op, scratch(path), user, group);
  }

  std::optional<ImmutableItem> mImmutable;  // released before the sandbox is removed
};

enum Setup { kNothing, kFile, kDirectory, kImmutableFile, kImmutableDir };  // in this order

struct OutcomeCase {
  const char* name;
  Op operation;
  Setup setUp;  // of "item", mode 0644 (file) or 0755 (directory), owned by bob
  const char* path;
  const char* group;  // alice's own passes the group step silently
  const char* lines;  // patterns, one a line
  uid_t owner = 0;    // of `path` and its new parents, in alice's group; for a YES only
  mode_t mode = 0;    // 0 for a NO, which changes nothing
  void (*prepare)(const SandboxRoot&) = nullptr;  // the sandbox root before the request
  const char* user = "alice";
  friend void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }
};

class Outcome : public ProvisioningTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcome, ItemBelongsToTheGroupWithItsModeOrNothingChanges) {
  const OutcomeCase& c = GetParam();
  if (c.prepare)
    c.prepare(mRoot);
  const bool file = c.setUp == kFile || c.setUp == kImmutableFile;
  if (c.setUp != kNothing)
    (file ? makeFile : makeDirectory)(scratch("item"), file ? 0644 : 0755, kBob.uid, kBob.gid);
  if (c.setUp >= kImmutableFile)
    mImmutable.emplace(scratch("item"));
  const Footprint before = footprint();
  EXPECT_EQ(run(c.operation, c.path, c.group, c.user), c.mode != 0);
  EXPECT_THAT(lines(Channel::kSystemLog), LinesMatch(c.lines));
  EXPECT_EQ(c.mode == 0 ? footprint() : before, before) << "a NO changes nothing";
  // `path` and each of its new parents.
  for (std::filesystem::path made = c.path; c.mode != 0 && !made.empty(); made = made.parent_path())
    EXPECT_EQ(statusOf(scratch(made)),
              (ItemStatus{true, c.owner, kAlice.gid, c.mode, (c.mode & S_ISGID) != 0}))
        << made;
}

void makeGshadowUnwritable(const SandboxRoot& root) {
  ASSERT_FALSE(writeFullNameRecord({}, kFirstHelperGid).has_value());
  ASSERT_EQ(unlink(root.at("etc/gshadow").c_str()), 0);
  ASSERT_EQ(mkdir(root.at("etc/gshadow").c_str(), 0700), 0);
}

// A lock that names no process, which the shadow tools cannot clear: they fail at once.
void lockGroupFileWithStaff(const SandboxRoot& root) {
  root.writeFile("etc/group", root.readFile("etc/group") + "staff:x:5000:\n");
  root.writeFile("etc/group.lock", "damaged\n");
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
        OutcomeCase{"FileOverDirectory", kCreateFile, kDirectory, "item", "alice", ""},
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
        OutcomeCase{"PermitOnMissingPath", kPermitAccess, kNothing, "missing", "Team", ""},
        OutcomeCase{"UnknownUser", kPermitAccess, kFile, "item", "Zel Home Users", "No identity", 0,
                    0, nullptr, "carol"},
        OutcomeCase{"EmptyGroupText", kPermitAccess, kFile, "item", "",
                    "ZelHelper group not found\nZelHelper putUser could not create group"},
        OutcomeCase{"HelperGidsUsedUp", kPermitAccess, kFile, "item", "Zel Home Users",
                    "ZelHelper group not found\n.*\\(rule:group-limit\\): .*60578 to 61183.*", 0, 0,
                    [](const SandboxRoot&) {
                      ASSERT_FALSE(writeFullNameRecord({}, kLastHelperGid).has_value());
                    }},
        OutcomeCase{"NewGroupCommit", kPermitAccess, kFile, "item", "Zel Home Users",
                    "ZelHelper group not found\n.*committing new group groupadd: .* code 10", 0, 0,
                    makeGshadowUnwritable},
        OutcomeCase{"LockedGpasswd", kPermitAccess, kFile, "item", "staff",
                    ".*committing gpasswd: .*cannot lock .* code [1-9][0-9]*", 0, 0,
                    lockGroupFileWithStaff}),
    caseName<OutcomeCase>);

TEST_F(ProvisioningTest, GroupWithInvalidNameIsFoundAgainAndOwnsItems) {
  ASSERT_TRUE(run(kCreateDirectory, "one", "Zel Home Users"));
  ASSERT_TRUE(run(kCreateFile, "one/file", "Zel Home Users"));
  ASSERT_TRUE(run(kPermitAccess, "one/file", "Zel Home Users"));
  EXPECT_THAT(
      lines(Channel::kSystemLog),
      ElementsAre("ZelHelper group not found", "ZelHelper createDirectory: dir doesn't exist",
                  "ZelHelper createFile: file doesn't exist"));
  // One audit line per change made; the last request changed nothing.
  const std::string by =
      "ZelHelper audit: (createDirectory|createFile) for uid 0 \\(root\\) pid [0-9]+: ";
  EXPECT_THAT(lines(Channel::kAudit),
              LinesMatch(by + "created group zel-home-users .*full name \"Zel Home Users\".*\n" +
                         by + "added user alice to group zel-home-users .*\n" + by +
                         "created directory /.*/one group [0-9]+ mode 02770\n" + by +
                         "created file /.*/one/file group [0-9]+ mode 0770"));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice"));
}

TEST_F(ProvisioningTest, AListedMemberPassesTheGroupStepWithoutMessageOrCommit) {
  mRoot.writeFile("etc/group", mRoot.readFile("etc/group") + "staff:x:5000:bob,alice\n");
  makeFile(scratch("item"), 0644);
  const std::string groups = mRoot.readFile("etc/group");
  EXPECT_TRUE(run(kPermitAccess, "item", "staff"));
  EXPECT_THAT(lines(Channel::kSystemLog), IsEmpty());
  EXPECT_EQ(mRoot.readFile("etc/group"), groups);
}

// In a root whose name service knows no users, gpasswd cannot run while groupadd can: the new
// group stays, without members.
TEST_F(ProvisioningTest, AGroupStepThatFailsAfterMakingTheGroupLeavesItEmpty) {
  mRoot.writeFile("etc/nsswitch.conf", "passwd: none\ngroup: files\n");
  makeFile(scratch("item"), 0644);
  EXPECT_FALSE(run(kPermitAccess, "item", "Zel Home Users"));
  EXPECT_THAT(lines(Channel::kSystemLog),
              LinesMatch("ZelHelper group not found\n.*committing gpasswd: .* code [1-9][0-9]*"));
  EXPECT_NE(gidOfGroup(mRoot, "zel-home-users"), static_cast<gid_t>(-1));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), IsEmpty());
}

}  // namespace
}  // namespace zel::test
