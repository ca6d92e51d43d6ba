// SPDX-License-Identifier: MIT
// The identity authority on a sandbox root: reading in file order, accounts, full names, new
// helper groups, the record, and commits through the real groupadd and gpasswd (that a changed
// file is read again, the daemon's group step shows; that an unchanged one is not is speed).
#include <filesystem>
#include <optional>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "platform/identity_authority.h"
#include "tests/platform/items.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;

class IdentityAuthorityTest : public ::testing::Test {
 protected:
  void addLines(const std::string& file, const std::string& lines) {
    mRoot.writeFile(file, mRoot.readFile(file) + lines);
  }
  std::string recordFile() const { return fullNameRecordPath().substr(mRoot.path().size() + 1); }
  // Makes a new group and commits it; why it was not made, or why the commit failed.
  std::optional<CommitError> commitNewGroup(const std::string& fullName, uid_t requestedBy) {
    std::string problem;
    const IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
    std::optional<GroupIdentity> group = authority.newGroup(fullName, requestedBy, &problem);
    return group ? authority.commitNewGroup(*group) : CommitError{problem, 0};
  }
  SandboxRoot mRoot;
};

TEST_F(IdentityAuthorityTest, GroupsAreReadInFileOrderAndListMembers) {
  addLines("etc/group",
           "staff:x:5000:bob,alice\n# old:x:1:alice\nempty:x:5001:\nbadline\nbad:x:12a:alice\n"
           "  staff:x:5002:\n");
  IdentityAuthority authority = IdentityAuthority::localIdentityAuthority();
  std::vector<std::string> names;
  for (const GroupIdentity& group : authority.groups())
    names.push_back(group.name);
  EXPECT_THAT(names, ElementsAre("root", "alice", "bob", "staff", "empty", "staff"));
  EXPECT_EQ(authority.groupWithFullName("staff")->gid, 5000u);  // the first of two
  EXPECT_THAT(authority.accountOf(4242).groups, ElementsAre(4242u, 5000u));
}

// Each case rewrites the files in place, as an administrator's editor would.
TEST_F(IdentityAuthorityTest, RegularUserHasAUidOfTheRangeAndALoginShell) {
  struct Case {
    const char* loginDefs;
    const char* shell;
    bool regular;
  };
  for (const Case& c : std::vector<Case>{{"", "/usr/sbin/nologin", false},
                                         {"# x\nUID_MIN\t\"4243\"\n", "/bin/sh", false},
                                         {"UID_MAX 0x1000\n", "/bin/sh", false},
                                         {"UID_MIN 5000\nUID_MIN 1000\n", "/bin/sh", true}}) {
    mRoot.writeFile("etc/login.defs", c.loginDefs);
    mRoot.writeFile("etc/passwd", fmt::format("alice:x:4242:4242::/home/alice:{}\n", c.shell));
    EXPECT_EQ(IdentityAuthority::localIdentityAuthority().accountOf(4242).regular, c.regular)
        << c.loginDefs << c.shell;
  }
}

TEST_F(IdentityAuthorityTest, NewGroupIsNamedZelAndTakesTheNextFreeGidOfTheRange) {
  addLines("etc/passwd", "zel-team:x:5100:5100::/:/bin/sh\n");  // taken as a user name only
  const std::string groups = mRoot.readFile("etc/group");
  struct Case {
    std::string fullName;
    const char* posixName;  // nullptr: no group can be made
    gid_t gid;
    const char* groupLines = "";
    gid_t highestGid = 0;  // in the record
  };
  for (const Case& c :
       std::vector<Case>{{"Zel Home Users", "zel-home-users-2", 60578, "zel-home-users:x:5000:\n"},
                         {"team", "zel-team-2", 60578},
                         {"Team Team Team Team Team Team Team", "zel-team-team-team-team-team-t-2",
                          60578, "zel-team-team-team-team-team-tea:x:5001:\n"},
                         {"Team", "zel-Team", 60579, "other:x:60578:\n"},
                         {"Team", "zel-Team", 60601, "", 60600},
                         {"Zel\tUsers", nullptr, 0},
                         {"Zel \xff", nullptr, 0}}) {
    mRoot.writeFile("etc/group", groups + c.groupLines);
    ASSERT_FALSE(writeFullNameRecord({}, c.highestGid).has_value());
    std::string problem;
    std::optional<GroupIdentity> group =
        IdentityAuthority::localIdentityAuthority().newGroup(c.fullName, 4242, &problem);
    ASSERT_EQ(group.has_value(), c.posixName != nullptr) << c.fullName << ": " << problem;
    if (group) {
      EXPECT_EQ(group->name, c.posixName);
      EXPECT_EQ(group->gid, c.gid) << c.posixName;
      EXPECT_TRUE(group->isOpen());
    }
  }
}

TEST_F(IdentityAuthorityTest, CommittedGroupIsRecordedAndItsGidNeverHandedOutAgain) {
  ASSERT_FALSE(commitNewGroup("Zel Home Users", 4242));
  EXPECT_EQ(gidOfGroup(mRoot, "zel-home-users"), 60578u);
  EXPECT_EQ(std::filesystem::status(fullNameRecordPath()).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  // Deleted: the next group takes the next gid, and the stale entry leaves the record.
  mRoot.writeFile("etc/group", "root:x:0:\n");
  ASSERT_FALSE(commitNewGroup("Zel Home Users", 0));
  EXPECT_EQ(gidOfGroup(mRoot, "zel-home-users"), 60579u);
  std::string problem;
  std::optional<FullNameRecord> stored = readFullNameRecord(&problem);
  ASSERT_TRUE(stored.has_value()) << problem;
  ASSERT_EQ(stored->groups.size(), 1u);
  EXPECT_EQ(stored->groups[0].gid, 60579u);
}

// Full names compare exactly, before POSIX names; the first of equal full names wins.
TEST_F(IdentityAuthorityTest, RecordEntriesCountWhileTheGroupHasTheirNameAndGid) {
  addLines("etc/group",
           "zel-team:x:5002:\nzel-old:x:5003:\nzel-renamed:x:5004:\nzel-x:x:5005:\n"
           "zel-x-2:x:5006:\nteam-b:x:5008:\nteam-a:x:5007:\n");
  ASSERT_FALSE(writeFullNameRecord({}).has_value());
  mRoot.writeFile(recordFile(),
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
  EXPECT_EQ(authority.groupForRequest("old"), nullptr);
  EXPECT_EQ(authority.groupForRequest("zel-old")->gid, 5003u);
  EXPECT_EQ(authority.groupForRequest("zel-x")->gid, 5006u);
  EXPECT_EQ(authority.groupForRequest("Twin")->gid, 5008u);
  // Written before the requesting uid was kept: root's, so not open.
  EXPECT_FALSE(authority.groupWithFullName("Old")->isOpen());
  EXPECT_EQ(authority.helperGroupsRequestedBy(0), 5u);
  EXPECT_EQ(authority.helperGroupCount(), 5u);
}

TEST_F(IdentityAuthorityTest, UnreadableRecordStopsNewGroupsAndIsKept) {
  ASSERT_FALSE(writeFullNameRecord({}).has_value());
  const std::string damaged = "{\"groups\": [";
  mRoot.writeFile(recordFile(), damaged);
  const std::string groupsBefore = mRoot.readFile("etc/group");
  std::optional<CommitError> error = commitNewGroup("Team", 0);
  ASSERT_TRUE(error.has_value());
  EXPECT_THAT(error->description, ::testing::HasSubstr("cannot parse"));
  EXPECT_EQ(mRoot.readFile(recordFile()), damaged);
  EXPECT_EQ(mRoot.readFile("etc/group"), groupsBefore);
}

}  // namespace
}  // namespace zel::test
