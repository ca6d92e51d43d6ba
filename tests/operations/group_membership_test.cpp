// SPDX-License-Identifier: MIT
// The group step (putUser) against the real groupadd and gpasswd on a sandbox root.
#include <functional>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "daemon/caller.h"
#include "platform/full_name_record.h"
#include "platform/identity_authority.h"
#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class PutUserTest : public OperationsTest {};

// Listed as a member, or the group is the user's primary group.
TEST_F(PutUserTest, AlreadyAMemberAnswersYesWithoutMessageOrCommit) {
  mRoot.writeFile("etc/group", mRoot.readFile("etc/group") + "staff:x:5000:bob,alice\n");
  std::string before = mRoot.readFile("etc/group");
  EXPECT_TRUE(groupStep("alice", "staff"));
  EXPECT_TRUE(groupStep("alice", "alice"));
  EXPECT_THAT(systemLines(), IsEmpty());
  EXPECT_EQ(mRoot.readFile("etc/group"), before);
}

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
                   "ZelUsers", "zel-ZelUsers"},
        LookupCase{"PosixNameOfAHelperGroup",
                   [](const SandboxRoot& root) {
                     addHelperGroups(root, {{"zel-home-users", 5000, "Zel Home Users"}});
                   },
                   "zel-home-users", "zel-home-users"},
        LookupCase{"FullNameBeforePosixName",
                   [](const SandboxRoot& root) {
                     addHelperGroups(root, {{"zel-home-users", 5000, "Zel Home Users"},
                                            {"zel-home-users-2", 5001, "zel-home-users"}});
                   },
                   "zel-home-users", "zel-home-users-2"},
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
  std::string record = fullNameRecordPath().substr(mRoot.path().size() + 1);
  std::string before = mRoot.readFile("etc/group");
  std::string recordBefore = mRoot.readFile(record);
  {
    std::optional<GroupFileLock> lock;
    if (GetParam().locked)
      lock.emplace(mRoot);
    EXPECT_FALSE(groupStep(GetParam().user, GetParam().group));
  }
  EXPECT_THAT(systemLines(), LinesMatch(GetParam().lines));
  if (*GetParam().groupLeft == '\0') {
    EXPECT_EQ(mRoot.readFile("etc/group"), before);
    EXPECT_EQ(mRoot.readFile(record), recordBefore);
  } else {
    EXPECT_NE(gidOfGroup(mRoot, GetParam().groupLeft), static_cast<gid_t>(-1));
    EXPECT_THAT(membersOfGroup(mRoot, GetParam().groupLeft), IsEmpty());
  }
}

void useUpHelperGids(const SandboxRoot&) {
  ASSERT_FALSE(writeFullNameRecord({}, kLastHelperGid).has_value());
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
        FailureCase{"HelperGidsUsedUp",
                    useUpHelperGids,
                    false,
                    "alice",
                    "Zel Home Users",
                    {"ZelHelper group not found",
                     "ZelHelper refused .* for uid 0 \\(rule:group-limit\\): no group id is left "
                     "in the helper's range 60578 to 61183.*"},
                    ""},
        FailureCase{"NewGroupCommit",
                    [](const SandboxRoot& root) {
                      ASSERT_FALSE(writeFullNameRecord({}, kFirstHelperGid).has_value());
                      ASSERT_EQ(unlink(root.at("etc/gshadow").c_str()), 0);
                      ASSERT_EQ(mkdir(root.at("etc/gshadow").c_str(), 0700), 0);
                    },
                    false,
                    "alice",
                    "Zel Home Users",
                    {"ZelHelper group not found",
                     "ZelHelper error committing new group groupadd: cannot open .* code 10"},
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

// putUser in-process for alice or bob: the answer and the reason noted for the caller.
std::pair<bool, std::string> putUserAs(const SandboxUser& caller, const std::string& user,
                                       const std::string& group) {
  std::string reason;
  CallerScope scope(Caller{caller.uid, caller.gid, getpid()}, &reason);
  bool answer = ZelHelper::putUser(user, group);
  return {answer, reason};
}

struct RuleCase {
  const char* name;
  std::vector<RecordedGroup> helperGroups;
  const char* otherFiles;  // "file:contents", or ""
  const char* user;
  const char* group;
  const char* rule;  // nothing: YES
  friend void PrintTo(const RuleCase& c, std::ostream* out) { *out << c.name; }
};

class GroupStepRule : public PutUserTest, public ::testing::WithParamInterface<RuleCase> {};

// For alice; in-process, the lowest layer that has a caller other than root.
TEST_P(GroupStepRule, RefusesWithoutAnyChange) {
  if (throughDaemon())
    GTEST_SKIP() << "the rules are tested in-process";
  addHelperGroups(mRoot, GetParam().helperGroups);
  if (std::string_view other = GetParam().otherFiles; !other.empty()) {
    std::string file(other.substr(0, other.find(':')));
    mRoot.writeFile(file, mRoot.readFile(file) + std::string(other.substr(file.size() + 1)));
  }
  std::string record = fullNameRecordPath().substr(mRoot.path().size() + 1);
  std::string groupsBefore = mRoot.readFile("etc/group");
  std::string recordBefore = mRoot.readFile(record);

  auto [answer, reason] = putUserAs(kAlice, GetParam().user, GetParam().group);
  EXPECT_EQ(answer, GetParam().rule == nullptr);
  if (GetParam().rule == nullptr)
    return;
  EXPECT_THAT(reason, StartsWith(fmt::format("refused ({}): ", GetParam().rule)));
  EXPECT_EQ(mRoot.readFile("etc/group"), groupsBefore);
  EXPECT_EQ(mRoot.readFile(record), recordBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, GroupStepRule,
    ::testing::Values(
        RuleCase{
            "OtherUser", {{"zel-team", 60578, "Team", 4243}}, "", "bob", "Team", "rule:own-user"},
        RuleCase{"NotARegularUser",
                 {{"zel-team", 60578, "Team", 4243}},
                 "etc/login.defs:UID_MIN 5000\n",
                 "alice",
                 "Team",
                 "rule:regular-user"},
        RuleCase{
            "SystemGroup", {}, "etc/group:staff:x:5000:\n", "alice", "staff", "rule:open-group"},
        RuleCase{"GroupRootAskedFor",
                 {{"zel-team", 60578, "Team", 0}},
                 "",
                 "alice",
                 "Team",
                 "rule:open-group"},
        RuleCase{"PrimaryGroupOfAUser",
                 {{"bob", 4243, "Bob", 4243}},
                 "",
                 "alice",
                 "Bob",
                 "rule:primary-group"},
        RuleCase{
            "OpenGroup", {{"zel-team", 60578, "Team", 4243}}, "", "alice", "zel-team", nullptr},
        RuleCase{"AlreadyListed", {}, "etc/group:staff:x:5000:alice\n", "alice", "staff", nullptr}),
    caseName<RuleCase>);

TEST_F(PutUserTest, CallersMakeEightGroupsEachAndTheHelperHoldsSixHundred) {
  if (throughDaemon())
    GTEST_SKIP() << "the rules are tested in-process";
  std::vector<RecordedGroup> groups;
  for (gid_t i = 0; i < 599; ++i)
    groups.push_back({fmt::format("zel-g{}", i), kFirstHelperGid + i, fmt::format("G{}", i),
                      i < 7 ? kAlice.uid : 10000 + i / 7});
  addHelperGroups(mRoot, groups);

  EXPECT_EQ(putUserAs(kAlice, "alice", "Eighth"), std::pair(true, std::string()));
  EXPECT_THAT(putUserAs(kAlice, "alice", "Ninth").second, StartsWith("refused (rule:group-quota)"));
  EXPECT_THAT(putUserAs(kBob, "bob", "First").second, StartsWith("refused (rule:group-limit)"));
  EXPECT_EQ(IdentityAuthority::localIdentityAuthority().helperGroupCount(), 600u);
}

}  // namespace
}  // namespace zel::test
