// The group step (putUser) against the real groupadd and gpasswd on a sandbox root.
#include <functional>
#include <optional>

#include "platform/full_name_record.h"
#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class PutUserTest : public OperationsTest {};

struct AlreadyMemberCase {
  const char* name;
  const char* groupLine;  // added to the group file
  const char* group;
  friend void PrintTo(const AlreadyMemberCase& c, std::ostream* out) { *out << c.name; }
};

class AlreadyMember : public PutUserTest,
                      public ::testing::WithParamInterface<AlreadyMemberCase> {};

TEST_P(AlreadyMember, AnswersYesWithoutMessageOrCommit) {
  mRoot.writeFile("etc/group", mRoot.readFile("etc/group") + GetParam().groupLine);
  std::string before = mRoot.readFile("etc/group");

  EXPECT_TRUE(groupStep("alice", GetParam().group));
  EXPECT_THAT(systemLines(), IsEmpty());
  EXPECT_EQ(mRoot.readFile("etc/group"), before);
}

INSTANTIATE_TEST_SUITE_P(Memberships, AlreadyMember,
                         ::testing::Values(AlreadyMemberCase{"Listed", "staff:x:5000:bob,alice\n",
                                                             "staff"},
                                           AlreadyMemberCase{"PrimaryGroup", "", "alice"}),
                         caseName<AlreadyMemberCase>);

TEST_F(PutUserTest, CreatesMissingGroupUnderItsFullNameAndAddsUser) {
  EXPECT_TRUE(groupStep("alice", "Zel Home Users"));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice"));
  // The next request finds the group by its full name.
  EXPECT_TRUE(groupStep("bob", "Zel Home Users"));
  EXPECT_THAT(systemLines(), ElementsAre("ZelHelper group not found"));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice", "bob"));
}

struct LookupCase {
  const char* name;
  std::function<void(const SandboxRoot&)> setUp;
  const char* group;
  const char* groupUsed;  // POSIX name of the group alice ends up in
  friend void PrintTo(const LookupCase& c, std::ostream* out) { *out << c.name; }
};

class GroupLookup : public PutUserTest, public ::testing::WithParamInterface<LookupCase> {};

// Full names compare exactly and only with full names; the first of equal full names wins.
TEST_P(GroupLookup, FindsGroupsByExactFullNameOnly) {
  GetParam().setUp(mRoot);
  EXPECT_TRUE(groupStep("alice", GetParam().group));
  EXPECT_THAT(membersOfGroup(mRoot, GetParam().groupUsed), ::testing::Contains("alice"));
}

void addHelperGroups(const SandboxRoot& root, const std::vector<RecordedGroup>& groups) {
  std::string lines;
  for (const RecordedGroup& group : groups)
    lines += group.name + ":x:" + std::to_string(group.gid) + ":\n";
  root.writeFile("etc/group", root.readFile("etc/group") + lines);
  ASSERT_FALSE(writeFullNameRecord(groups).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, GroupLookup,
    ::testing::Values(
        LookupCase{"CaseDiffers",
                   [](const SandboxRoot& root) {
                     root.writeFile("etc/group", root.readFile("etc/group") + "zelusers:x:5000:\n");
                   },
                   "ZelUsers", "ZelUsers"},
        LookupCase{"PosixNameOfAHelperGroup",
                   [](const SandboxRoot& root) {
                     addHelperGroups(root, {{"zel-home-users", 5000, "Zel Home Users"}});
                   },
                   "zel-home-users", "zel-home-users"},
        LookupCase{"FirstOfEqualFullNames",
                   [](const SandboxRoot& root) {
                     addHelperGroups(root, {{"team-b", 5001, "Team"}, {"team-a", 5000, "Team"}});
                   },
                   "Team", "team-b"}),
    caseName<LookupCase>);

struct FailureCase {
  const char* name;
  std::function<void(const SandboxRoot&)> setUp;
  bool locked;  // the group file's lock is held
  const char* user;
  const char* group;
  std::vector<std::string> lines;  // patterns
  const char* groupLeft;           // a group that persists, or "" for an unchanged group file
  friend void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }
};

class PutUserFailure : public PutUserTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PutUserFailure, AnswersNoWithItsMessagesInOrder) {
  if (GetParam().setUp)
    GetParam().setUp(mRoot);
  std::string before = mRoot.readFile("etc/group");
  {
    std::optional<GroupFileLock> lock;
    if (GetParam().locked)
      lock.emplace(mRoot);
    EXPECT_FALSE(groupStep(GetParam().user, GetParam().group));
  }
  EXPECT_THAT(systemLines(), LinesMatch(GetParam().lines));
  if (*GetParam().groupLeft == '\0') {
    EXPECT_EQ(mRoot.readFile("etc/group"), before);
  } else {
    EXPECT_NE(gidOfGroup(mRoot, GetParam().groupLeft), static_cast<gid_t>(-1));
    EXPECT_THAT(membersOfGroup(mRoot, GetParam().groupLeft), IsEmpty());
  }
}

// The only group ids new groups may take are those of alice and bob.
void useUpGroupIds(const SandboxRoot& root) {
  root.writeFile("etc/login.defs", "GID_MIN 4242\nGID_MAX 4243\n");
}

// In a root whose name service knows no users, gpasswd cannot run while groupadd still can.
void breakUserLookupOfGpasswd(const SandboxRoot& root) {
  root.writeFile("etc/nsswitch.conf", "passwd: none\ngroup: files\n");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, PutUserFailure,
    ::testing::Values(
        FailureCase{"UnknownUser", nullptr, false, "carol", "Zel Home Users", {"No identity"}, ""},
        FailureCase{"EmptyGroupText",
                    nullptr,
                    false,
                    "alice",
                    "",
                    {"ZelHelper group not found", "ZelHelper putUser could not create group"},
                    ""},
        FailureCase{
            "NoFreeGroupId",
            useUpGroupIds,
            false,
            "alice",
            "Zel Home Users",
            {"ZelHelper group not found",
             "ZelHelper error committing new group groupadd: Can't get unique GID .* code 4"},
            ""},
        FailureCase{"LockedMembershipCommit",
                    [](const SandboxRoot& root) {
                      root.writeFile("etc/group", root.readFile("etc/group") + "staff:x:5000:\n");
                    },
                    true,
                    "alice",
                    "staff",
                    {"ZelHelper error committing gpasswd: .*cannot lock .* code [1-9][0-9]*"},
                    ""},
        FailureCase{"MembershipCommitAfterNewGroup",
                    breakUserLookupOfGpasswd,
                    false,
                    "alice",
                    "Zel Home Users",
                    {"ZelHelper group not found",
                     "ZelHelper error committing gpasswd: .* code [1-9][0-9]*"},
                    "zel-home-users"}),
    caseName<FailureCase>);

}  // namespace
}  // namespace zel::test
