// The identity authority on a sandbox root: reading in file order, full names, new group names,
// and commits through the real groupadd and gpasswd.
#include <optional>

#include "platform/full_name_record.h"
#include "platform/identity_authority.h"
#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class IdentityAuthorityTest : public ::testing::Test {
 protected:
  void addGroupLines(const std::string& lines) {
    mRoot.writeFile("etc/group", mRoot.readFile("etc/group") + lines);
  }
  SandboxRoot mRoot;
};

TEST_F(IdentityAuthorityTest, MembershipIsListedOrPrimary) {
  addGroupLines(
      "staff:x:5000:bob,alice\n# old:x:1:alice\nempty:x:5001:\nbadline\nbad:x:12a:alice\n"
      "  staff:x:5002:\n");
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  const UserIdentity* alice = authority.identityWithName("alice");
  ASSERT_NE(alice, nullptr);
  EXPECT_EQ(authority.identityWithName("carol"), nullptr);

  std::vector<std::string> names;
  for (const GroupIdentity& group : authority.groups())
    names.push_back(group.name);
  EXPECT_THAT(names, ElementsAre("root", "alice", "bob", "staff", "empty", "staff"));
  EXPECT_EQ(authority.groupWithFullName("staff")->gid, 5000u);  // the first of two
  EXPECT_TRUE(authority.isMemberOfGroup(*alice, *authority.groupWithFullName("alice")));
  EXPECT_TRUE(authority.isMemberOfGroup(*alice, *authority.groupWithFullName("staff")));
  EXPECT_FALSE(authority.isMemberOfGroup(*alice, *authority.groupWithFullName("empty")));
  EXPECT_THAT(authority.groupsOfProcess(4242, 4242), ElementsAre(4242u, 4242u, 5000u));
}

struct NameCase {
  const char* name;
  std::string fullName;
  std::optional<std::string> posixName;  // nothing: creation yields nothing
  friend void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }
};

class NewGroupName : public IdentityAuthorityTest,
                     public ::testing::WithParamInterface<NameCase> {};

TEST_P(NewGroupName, IsTheFullNameWhenValidOtherwiseDerivedAndUnique) {
  // Taken: the users' groups, and names a derived name could collide with.
  addGroupLines("zel-home-users:x:5000:\nteam-team-team-team-team-team-te:x:5001:\n");
  std::optional<GroupIdentity> group =
      IdentityAuthority::localIdentityAuthority().newGroup(GetParam().fullName);
  ASSERT_EQ(group.has_value(), GetParam().posixName.has_value());
  if (group) {
    EXPECT_EQ(group->name, *GetParam().posixName);
    EXPECT_EQ(group->fullName, GetParam().fullName);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, NewGroupName,
    ::testing::Values(NameCase{"Valid", "zelusers", "zelusers"},
                      NameCase{"ValidWithCapitals", "Zel.Users", "Zel.Users"},
                      NameCase{"Spaces", "Zel Users", "zel-users"},
                      NameCase{"DerivedNameTaken", "Zel Home Users", "zel-home-users-2"},
                      NameCase{"ValidNameTaken", "alice", "alice-2"},
                      NameCase{"LeadingDigit", "2024 Team!", "g2024-team"},
                      NameCase{"NoAsciiLetters", "\xe6\x97\xa5\xe6\x9c\xac", "group"},
                      NameCase{"TooLong", std::string(40, 'A') + " b", std::string(32, 'a')},
                      NameCase{"TooLongAndTaken", "Team Team Team Team Team Team Team",
                               "team-team-team-team-team-team-2"},
                      NameCase{"Empty", "", std::nullopt},
                      NameCase{"ControlCharacter", "Zel\tUsers", std::nullopt},
                      NameCase{"NotUtf8", "Zel \xff", std::nullopt}),
    caseName<NameCase>);

TEST_F(IdentityAuthorityTest, CommittedGroupIsFoundByFullNameAndOwnerName) {
  std::optional<GroupIdentity> group =
      IdentityAuthority::localIdentityAuthority().newGroup("Zel Home Users");
  ASSERT_TRUE(group.has_value());
  ASSERT_FALSE(IdentityAuthority::localIdentityAuthority().commitNewGroup(*group).has_value());
  EXPECT_EQ(gidOfGroup(mRoot, "zel-home-users"), group->gid);

  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  const GroupIdentity* found = authority.groupWithFullName("Zel Home Users");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->gid, group->gid);
  EXPECT_TRUE(found->createdByHelper);
  EXPECT_EQ(authority.groupForOwnerName("zel-home-users"), found);
  EXPECT_EQ(authority.groupWithFullName("zel-home-users"), nullptr);

  ASSERT_FALSE(authority.addMember(*found, *authority.identityWithName("bob")).has_value());
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("bob"));
}

TEST_F(IdentityAuthorityTest, OwnerNameTriesFullNamesBeforePosixNames) {
  addGroupLines("zel-home-users:x:5000:\nzel-home-users-2:x:5001:\n");
  ASSERT_FALSE(writeFullNameRecord({{"zel-home-users", 5000, "Zel Home Users"},
                                    {"zel-home-users-2", 5001, "zel-home-users"}})
                   .has_value());
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  EXPECT_EQ(authority.groupForOwnerName("zel-home-users")->gid, 5001u);
  EXPECT_EQ(authority.groupForOwnerName("zel-home-users-2")->gid, 5001u);
  EXPECT_EQ(authority.groupForOwnerName("Zel Home Users")->gid, 5000u);
}

TEST_F(IdentityAuthorityTest, RecordEntryOfARemadeGroupIsIgnored) {
  addGroupLines("zel-team:x:5002:\n");
  ASSERT_FALSE(writeFullNameRecord({{"zel-team", 5001, "Team"}}).has_value());
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  EXPECT_EQ(authority.groupWithFullName("Team"), nullptr);
  EXPECT_FALSE(authority.groupWithFullName("zel-team")->createdByHelper);
}

TEST_F(IdentityAuthorityTest, UnreadableRecordStopsNewGroupsAndIsKept) {
  ASSERT_FALSE(writeFullNameRecord({}).has_value());
  std::string damaged = "{\"groups\": [";
  std::string record = fullNameRecordPath().substr(mRoot.path().size() + 1);
  mRoot.writeFile(record, damaged);
  std::string groupsBefore = mRoot.readFile("etc/group");

  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  std::optional<GroupIdentity> group = authority.newGroup("Team");
  ASSERT_TRUE(group.has_value());
  std::optional<CommitError> error = authority.commitNewGroup(*group);
  ASSERT_TRUE(error.has_value());
  EXPECT_THAT(error->description, HasSubstr("cannot parse"));
  EXPECT_EQ(mRoot.readFile(record), damaged);
  EXPECT_EQ(mRoot.readFile("etc/group"), groupsBefore);
}

TEST_F(IdentityAuthorityTest, CommitErrorCarriesToolMessageAndStatus) {
  addGroupLines("staff:x:5000:\n");
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  GroupFileLock lock(mRoot);
  std::optional<CommitError> error = authority.addMember(*authority.groupWithFullName("staff"),
                                                         *authority.identityWithName("bob"));
  ASSERT_TRUE(error.has_value());
  EXPECT_THAT(error->description, ::testing::StartsWith("gpasswd: "));
  EXPECT_THAT(error->description, HasSubstr("cannot lock"));
  EXPECT_THAT(error->description, ::testing::Not(HasSubstr("\n")));
  EXPECT_NE(error->code, 0);
}

}  // namespace
}  // namespace zel::test
