// SPDX-License-Identifier: MIT
// The identity authority on a sandbox root: reading in file order, accounts, full names, new
// helper groups, the record, and commits through the real groupadd and gpasswd (that a changed
// file is read again, the daemon's group step shows; that an unchanged one is not is speed).
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "platform/identity_authority.h"
#include "tests/platform/items.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class IdentityAuthorityTest : public ::testing::Test {
 protected:
  void addLines(const std::string& file, const std::string& lines) {
    mRoot.writeFile(file, mRoot.readFile(file) + lines);
  }
  SandboxRoot mRoot;
};

TEST_F(IdentityAuthorityTest, MembershipIsListedOrPrimary) {
  addLines("etc/group",
           "staff:x:5000:bob,alice\n# old:x:1:alice\nempty:x:5001:\nbadline\nbad:x:12a:alice\n"
           "  staff:x:5002:\n");
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  const UserIdentity* alice = authority.identityWithName("alice");
  ASSERT_NE(alice, nullptr);

  std::vector<std::string> names;
  for (const GroupIdentity& group : authority.groups())
    names.push_back(group.name);
  EXPECT_THAT(names, ElementsAre("root", "alice", "bob", "staff", "empty", "staff"));
  EXPECT_EQ(authority.groupWithFullName("staff")->gid, 5000u);  // the first of two
  EXPECT_TRUE(authority.isMemberOfGroup(*alice, *authority.groupWithFullName("alice")));
  EXPECT_TRUE(authority.isMemberOfGroup(*alice, *authority.groupWithFullName("staff")));
  EXPECT_FALSE(authority.isMemberOfGroup(*alice, *authority.groupWithFullName("empty")));
  EXPECT_THAT(authority.accountOf(4242).groups, ElementsAre(4242u, 5000u));
}

struct RegularCase {
  const char* name;
  const char* loginDefs;
  const char* shell;
  bool regular;
  friend void PrintTo(const RegularCase& c, std::ostream* out) { *out << c.name; }
};

class RegularUser : public IdentityAuthorityTest,
                    public ::testing::WithParamInterface<RegularCase> {};

TEST_P(RegularUser, HasAUidOfTheRangeAndALoginShell) {
  if (GetParam().loginDefs != nullptr)
    mRoot.writeFile("etc/login.defs", GetParam().loginDefs);
  mRoot.writeFile("etc/passwd",
                  fmt::format("alice:x:4242:4242::/home/alice:{}\n", GetParam().shell));
  EXPECT_EQ(IdentityAuthority::localIdentityAuthority().accountOf(4242).regular,
            GetParam().regular);
}

INSTANTIATE_TEST_SUITE_P(
    Users, RegularUser,
    ::testing::Values(RegularCase{"Nologin", nullptr, "/usr/sbin/nologin", false},
                      RegularCase{"BelowUidMin", "# x\nUID_MIN\t\"4243\"\n", "/bin/sh", false},
                      RegularCase{"AboveHexUidMax", "UID_MAX 0x1000\n", "/bin/sh", false},
                      RegularCase{"LastLineWins", "UID_MIN 5000\nUID_MIN 1000\n", "/bin/sh", true}),
    caseName<RegularCase>);

struct NewGroupCase {
  const char* name;
  std::string fullName;
  std::optional<std::string> posixName;  // nothing: no group can be made
  gid_t gid;
  const char* groupLines = "";
  gid_t highestGid = 0;  // in the record
  friend void PrintTo(const NewGroupCase& c, std::ostream* out) { *out << c.name; }
};

class NewGroup : public IdentityAuthorityTest,
                 public ::testing::WithParamInterface<NewGroupCase> {};

TEST_P(NewGroup, IsNamedZelAndTakesTheNextFreeGidOfTheRange) {
  // Taken as a user name only.
  addLines("etc/passwd", "zel-team:x:5100:5100::/:/bin/sh\n");
  addLines("etc/group", GetParam().groupLines);
  ASSERT_FALSE(writeFullNameRecord({}, GetParam().highestGid).has_value());
  std::string problem;
  std::optional<GroupIdentity> group =
      IdentityAuthority::localIdentityAuthority().newGroup(GetParam().fullName, 4242, &problem);
  ASSERT_EQ(group.has_value(), GetParam().posixName.has_value()) << problem;
  if (group) {
    EXPECT_EQ(group->name, *GetParam().posixName);
    EXPECT_EQ(group->gid, GetParam().gid);
    EXPECT_EQ(group->fullName, GetParam().fullName);
    EXPECT_TRUE(group->isOpen());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, NewGroup,
    ::testing::Values(
        NewGroupCase{"DerivedNameTaken", "Zel Home Users", "zel-home-users-2", 60578,
                     "zel-home-users:x:5000:\n"},
        NewGroupCase{"TakenAsUserName", "team", "zel-team-2", 60578},
        NewGroupCase{"TooLongAndTaken", "Team Team Team Team Team Team Team",
                     "zel-team-team-team-team-team-t-2", 60578,
                     "zel-team-team-team-team-team-tea:x:5001:\n"},
        NewGroupCase{"GidUsedInTheGroupFile", "Team", "zel-Team", 60579, "other:x:60578:\n"},
        NewGroupCase{"AboveTheHighestEverHandedOut", "Team", "zel-Team", 60601, "", 60600},
        NewGroupCase{"ControlCharacter", "Zel\tUsers", std::nullopt, 0},
        NewGroupCase{"NotUtf8", "Zel \xff", std::nullopt, 0}),
    caseName<NewGroupCase>);

TEST_F(IdentityAuthorityTest, CommittedGroupIsRecordedAndItsGidNeverHandedOutAgain) {
  std::string problem;
  std::optional<GroupIdentity> group =
      IdentityAuthority::localIdentityAuthority().newGroup("Zel Home Users", 4242, &problem);
  ASSERT_TRUE(group.has_value());
  ASSERT_FALSE(IdentityAuthority::localIdentityAuthority().commitNewGroup(*group).has_value());
  EXPECT_EQ(gidOfGroup(mRoot, "zel-home-users"), 60578u);
  struct stat record {};
  ASSERT_EQ(stat(fullNameRecordPath().c_str(), &record), 0);
  EXPECT_EQ(record.st_mode & 07777, 0600u);

  // Deleted: the next group takes the next gid, and the stale entry leaves the record.
  mRoot.writeFile("etc/group", "root:x:0:\n");
  group = IdentityAuthority::localIdentityAuthority().newGroup("Zel Home Users", 0, &problem);
  ASSERT_TRUE(group.has_value());
  EXPECT_EQ(group->gid, 60579u);
  ASSERT_FALSE(IdentityAuthority::localIdentityAuthority().commitNewGroup(*group).has_value());
  std::optional<FullNameRecord> stored = readFullNameRecord(&problem);
  ASSERT_TRUE(stored.has_value());
  ASSERT_EQ(stored->groups.size(), 1u);
  EXPECT_EQ(stored->groups[0].gid, 60579u);
}

// Full names compare exactly, before POSIX names; the first of equal full names wins.
TEST_F(IdentityAuthorityTest, RecordEntriesCountWhileTheGroupHasTheirNameAndGid) {
  addLines("etc/group",
           "zel-team:x:5002:\nzel-old:x:5003:\nzel-renamed:x:5004:\nzel-x:x:5005:\n"
           "zel-x-2:x:5006:\nteam-b:x:5008:\nteam-a:x:5007:\n");
  ASSERT_FALSE(writeFullNameRecord({}).has_value());
  mRoot.writeFile(fullNameRecordPath().substr(mRoot.path().size() + 1),
                  R"({"groups": [{"name": "zel-team", "gid": 5001, "fullName": "Team"},
                                 {"name": "zel-old", "gid": 5003, "fullName": "Old"},
                                 {"name": "zel-gone", "gid": 5004, "fullName": "Gone"},
                                 {"name": "zel-x", "gid": 5005, "fullName": "X"},
                                 {"name": "zel-x-2", "gid": 5006, "fullName": "zel-x"},
                                 {"name": "team-b", "gid": 5008, "fullName": "Twin"},
                                 {"name": "team-a", "gid": 5007, "fullName": "Twin"}]})");
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  EXPECT_EQ(authority.groupWithFullName("Team"), nullptr);
  EXPECT_EQ(authority.groupWithFullName("Gone"), nullptr);
  EXPECT_FALSE(authority.groupWithFullName("zel-team")->createdByHelper);
  EXPECT_EQ(authority.groupForRequest("old"), nullptr);
  EXPECT_EQ(authority.groupForRequest("zel-old")->gid, 5003u);
  EXPECT_EQ(authority.groupForRequest("zel-x")->gid, 5006u);
  EXPECT_EQ(authority.groupForRequest("Twin")->gid, 5008u);
  // Written before the requesting uid was kept: root's.
  const GroupIdentity* old = authority.groupWithFullName("Old");
  ASSERT_NE(old, nullptr);
  EXPECT_FALSE(old->isOpen());
  EXPECT_EQ(authority.helperGroupsRequestedBy(0), 5u);
  EXPECT_EQ(authority.helperGroupCount(), 5u);
}

TEST_F(IdentityAuthorityTest, UnreadableRecordStopsNewGroupsAndIsKept) {
  ASSERT_FALSE(writeFullNameRecord({}).has_value());
  std::string damaged = "{\"groups\": [";
  std::string record = fullNameRecordPath().substr(mRoot.path().size() + 1);
  mRoot.writeFile(record, damaged);
  std::string groupsBefore = mRoot.readFile("etc/group");

  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  std::string problem;
  std::optional<GroupIdentity> group = authority.newGroup("Team", 0, &problem);
  ASSERT_TRUE(group.has_value());
  std::optional<CommitError> error = authority.commitNewGroup(*group);
  ASSERT_TRUE(error.has_value());
  EXPECT_THAT(error->description, HasSubstr("cannot parse"));
  EXPECT_EQ(mRoot.readFile(record), damaged);
  EXPECT_EQ(mRoot.readFile("etc/group"), groupsBefore);
}

}  // namespace
}  // namespace zel::test
