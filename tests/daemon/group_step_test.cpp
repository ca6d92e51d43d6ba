// SPDX-License-Identifier: MIT
// Root's group step through the daemon, against the real groupadd and gpasswd on a sandbox root:
// finding the group, making it, adding the user, and each failure with its lines in order.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/identity_authority.h"
#include "tests/daemon/daemon_test.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class GroupStepTest : public DaemonTest {};

// Listed as a member, or the group is the user's primary group.
TEST_F(GroupStepTest, AlreadyAMemberAnswersYesWithoutMessageOrCommit) {
  mRoot.writeFile("etc/group", mRoot.readFile("etc/group") + "staff:x:5000:bob,alice\n");
  std::string before = mRoot.readFile("etc/group");
  EXPECT_TRUE(groupStep("alice", "staff"));
  EXPECT_TRUE(groupStep("alice", "alice"));
  EXPECT_THAT(systemLines(), IsEmpty());
  EXPECT_EQ(mRoot.readFile("etc/group"), before);
}

TEST_F(GroupStepTest, CreatesMissingGroupUnderItsFullNameAndAddsUser) {
  EXPECT_TRUE(groupStep("alice", "Zel Home Users"));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice"));
  // The next request finds the group by its full name.
  EXPECT_TRUE(groupStep("bob", "Zel Home Users"));
  EXPECT_THAT(systemLines(), ElementsAre("ZelHelper group not found"));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice", "bob"));
}

struct FailureCase {
  const char* name;
  void (*setUp)(const SandboxRoot&);
  const char* user;
  const char* group;
  const char* lines;      // patterns, one a line
  const char* groupLeft;  // a group that persists, or "" for an unchanged group file
  friend void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }
};

class GroupStepFailure : public GroupStepTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(GroupStepFailure, AnswersNoWithItsMessagesInOrder) {
  const FailureCase& c = GetParam();
  if (c.setUp)
    c.setUp(mRoot);
  std::string record = fullNameRecordPath().substr(mRoot.path().size() + 1);
  std::string before = mRoot.readFile("etc/group");
  std::string recordBefore = mRoot.readFile(record);
  EXPECT_FALSE(groupStep(c.user, c.group));
  EXPECT_THAT(systemLines(), LinesMatch(linesOf(c.lines)));
  if (*c.groupLeft == '\0') {
    EXPECT_EQ(mRoot.readFile("etc/group"), before);
    EXPECT_EQ(mRoot.readFile(record), recordBefore);
  } else {
    EXPECT_NE(gidOfGroup(mRoot, c.groupLeft), static_cast<gid_t>(-1));
    EXPECT_THAT(membersOfGroup(mRoot, c.groupLeft), IsEmpty());
  }
}

void useUpHelperGids(const SandboxRoot&) {
  ASSERT_FALSE(writeFullNameRecord({}, kLastHelperGid).has_value());
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

// In a root whose name service knows no users, gpasswd cannot run while groupadd can.
void breakUserLookupOfGpasswd(const SandboxRoot& root) {
  root.writeFile("etc/nsswitch.conf", "passwd: none\ngroup: files\n");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GroupStepFailure,
    ::testing::Values(
        FailureCase{"UnknownUser", nullptr, "carol", "Zel Home Users", "No identity", ""},
        FailureCase{"EmptyGroupText", nullptr, "alice", "",
                    "ZelHelper group not found\nZelHelper putUser could not create group", ""},
        FailureCase{"HelperGidsUsedUp", useUpHelperGids, "alice", "Zel Home Users",
                    "ZelHelper group not found\n.*\\(rule:group-limit\\): .*60578 to 61183.*", ""},
        FailureCase{"NewGroupCommit", makeGshadowUnwritable, "alice", "Zel Home Users",
                    "ZelHelper group not found\n.*committing new group groupadd: .* code 10", ""},
        FailureCase{"LockedGpasswd", lockGroupFileWithStaff, "alice", "staff",
                    ".*committing gpasswd: .*cannot lock .* code [1-9][0-9]*", ""},
        FailureCase{"GpasswdAfterNewGroup", breakUserLookupOfGpasswd, "alice", "Zel Home Users",
                    "ZelHelper group not found\n.*committing gpasswd: .* code [1-9][0-9]*",
                    "zel-home-users"}),
    caseName<FailureCase>);

}  // namespace
}  // namespace zel::test
