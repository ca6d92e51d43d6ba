// SPDX-License-Identifier: MIT
// The rules for callers other than root, each row tried through the daemon by a process of the
// caller's uid: a refused request answers NO with one line and the reason naming the rule, and
// changes nothing; an allowed one leaves a shared item's bits as the rules say. And the use they
// are for: a shared directory of an open helper group that its members work in.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "tests/daemon/daemon_test.h"

namespace zel::test {
namespace {

constexpr gid_t kAdm = 4;  // alice and bob are members; not a helper group
constexpr const char* kShared = "Zel Home Users";

// Adds groups to the group file (unless one of that name is there) and to the helper's record.
void addHelperGroups(const SandboxRoot& root, const std::vector<RecordedGroup>& groups) {
  std::string problem;
  std::optional<FullNameRecord> record = readFullNameRecord(&problem);
  ASSERT_TRUE(record.has_value()) << problem;
  std::string lines;
  for (const RecordedGroup& group : groups) {
    record->groups.push_back(group);
    if (gidOfGroup(root, group.name) == static_cast<gid_t>(-1))
      lines += fmt::format("{}:x:{}:\n", group.name, group.gid);
  }
  root.writeFile("etc/group", root.readFile("etc/group") + lines);
  ASSERT_FALSE(writeFullNameRecord(record->groups, record->highestGid).has_value());
}

class SafetyRulesTest : public DaemonTest {
 public:
  void SetUp() override {
    std::string passwd = mRoot.readFile("etc/passwd");
    for (const SandboxUser& user : {kAlice, kBob}) {
      const std::string home = fmt::format("/home/{}", user.name);
      passwd.replace(passwd.find(home), home.size(), scratch(user.name));
      makeDirectory(scratch(user.name), 0755, user.uid, user.gid);
    }
    mRoot.writeFile("etc/passwd", passwd);
    mRoot.writeFile("etc/group",
                    mRoot.readFile("etc/group") + "adm:x:4:alice,bob\nstaff:x:5000:\n");
    addHelperGroups(mRoot,
                    {{"zel-team", 60579, "Team", kBob.uid}, {"bob", kBob.gid, "Bob", kBob.uid}});
    makeDirectory(scratch("admdir"), 02750, 0, kAdm);
    makeFile(scratch("admfile"), 0750, 0, kAdm);
    makeDirectory(scratch("bobdir"), 0755, kBob.uid, kAdm);
    makeFile(scratch("bobfile"), 0644, kBob.uid, kAdm);
    makeFile(scratch("alicefile"), 0644, kAlice.uid, 0);
    makeDirectory(scratch("alicedir"), 0755, kAlice.uid, kAlice.gid);
    ASSERT_EQ(symlink(scratch("admdir").c_str(), scratch("alicedir/link").c_str()), 0);
    ASSERT_EQ(lchown(scratch("alicedir/link").c_str(), kAlice.uid, kAlice.gid), 0);
    ASSERT_EQ(symlink(scratch("bobdir").c_str(), scratch("rootlink").c_str()), 0);
    makeDirectory(scratch("private"), 0700);
    makeFile(scratch("private/item"), 0777);

    // The use the rules are for: alice makes the shared directory, bob joins by making a file.
    ASSERT_TRUE(asCaller(kAlice.uid, [this](ZelHelper& helper) {
      return helper.createDirectory(scratch("shared"), "alice", kShared) &&
             helper.createFile(scratch("shared/narrow"), "alice", kShared) &&
             helper.createFile(scratch("shared/acl"), "alice", kShared);
    }));
    ASSERT_TRUE(asCaller(kBob.uid, [this](ZelHelper& helper) {
      return helper.createFile(scratch("shared/bobs"), "bob", kShared);
    }));
    mSharedGroup = gidOfGroup(mRoot, "zel-home-users");
    ASSERT_EQ(chmod(scratch("shared").c_str(), 03770), 0);
    ASSERT_EQ(chmod(scratch("shared/narrow").c_str(), 0750), 0);
    // An access ACL that names bob, with the mode's own classes: version 2, then for the owner,
    // bob, the group, the mask and the others the tag and permissions (16 bits each) and the id.
    const uint32_t acl[] = {2,   0x70001, ~0u, 0x70002, kBob.uid, 0x70004,
                            ~0u, 0x70010, ~0u, 0x20,    ~0u};
    ASSERT_EQ(
        setxattr(scratch("shared/acl").c_str(), "system.posix_acl_access", acl, sizeof acl, 0), 0);
  }

  gid_t mSharedGroup = 0;
};

const char* nameOf(uid_t caller) {
  return caller == kBob.uid ? "bob" : "alice";
}

constexpr uid_t kA = kAlice.uid;
constexpr uid_t kB = kBob.uid;

// A request refused by a rule, or one that the rules allow, with the note a shared item's kept
// bits give.
struct RuleCase {
  const char* name;
  uid_t caller;
  Op op;
  const char* path;
  const char* group;  // or the octal-looking number's text for setPrivileges
  const char* rule;   // after "rule:", or "" for none; null: NO before the group step, no reason
  mode_t mode = 0;    // allowed: the item's mode afterwards, in the shared group; 0: refused
  uid_t owner = 0;    // allowed: the item's owner afterwards
  const char* user = nullptr;       // the caller's own name unless given
  const char* loginDefs = nullptr;  // of the sandbox, when given
  friend void PrintTo(const RuleCase& c, std::ostream* out) { *out << c.name; }
};

class Rule : public SafetyRulesTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(Rule, RefusesWithoutAnyChangeOrAllowsWithinIt) {
  const RuleCase& c = GetParam();
  if (c.loginDefs)
    mRoot.writeFile("etc/login.defs", c.loginDefs);
  const Footprint before = footprint();
  const std::string target = scratch(c.path);
  const bool directory = statusOf(target).isDirectory;
  const bool allowed = c.mode != 0;
  const std::string reason =
      c.rule && *c.rule ? fmt::format("{} (rule:{}): ", allowed ? "kept" : "refused", c.rule) : "";
  EXPECT_TRUE(asCaller(c.caller, [&](ZelHelper& helper) {
    const bool yes = call(helper, c.op, target, c.user ? c.user : nameOf(c.caller), c.group);
    return (yes || (allowed && c.op == Op::kSetPrivileges)) == allowed &&
           helper.lastReason().starts_with(reason) &&
           (!reason.empty() || helper.lastReason().empty());
  })) << "the answer or the reason";
  if (allowed) {
    EXPECT_EQ(statusOf(target), (ItemStatus{true, c.owner, mSharedGroup, c.mode, directory}));
    return;
  }
  EXPECT_EQ(footprint(), before) << "a refused request changes nothing";
  std::vector<std::string> refusals =
      lines(c.op == Op::kSetPrivileges ? Channel::kNSLog : Channel::kSystemLog);
  std::erase_if(refusals,
                [](const std::string& line) { return !line.starts_with("ZelHelper refused "); });
  EXPECT_THAT(refusals,
              ::testing::AllOf(::testing::SizeIs(c.rule ? 1 : 0),
                               ::testing::Each(::testing::HasSubstr(fmt::format(
                                   "for uid {} (rule:{}): ", c.caller, c.rule ? c.rule : "")))));
}

constexpr const char* kNew = "New Group";
using enum Op;

INSTANTIATE_TEST_SUITE_P(
    Rules, Rule,
    ::testing::Values(
        RuleCase{"DotDotForRoot", 0, kPermitAccess, "bobdir/../admfile", kNew, "path"},
        RuleCase{"LinkInUsersDirectory", kA, kCreateFile, "alicedir/link/new", kNew, "link"},
        RuleCase{"RootsLinkInUsersDir", 0, kCreateFile, "rootlink/new", kNew, "link"},
        RuleCase{"UnsearchableWithItem", kA, kPermitAccess, "private/item", kNew, "search"},
        RuleCase{"UnsearchableChmod", kA, kSetPrivileges, "private/item", "700", "search"},
        RuleCase{"TheRootDirectoryForANewGroup", kA, kPermitAccess, "/", "admin", "home"},
        RuleCase{"OwnHome", kA, kCreateDirectory, "alice", kNew, "home"},
        RuleCase{"OthersFile", kA, kPermitAccess, "bobfile", kShared, "take-over"},
        RuleCase{"SharedOfOtherGroup", kB, kCreateFile, "shared/narrow", "bob", "take-over"},
        RuleCase{"InGroupReadOnlyDirectory", kA, kCreateFile, "admdir/new", kNew, "create-in"},
        RuleCase{"GroupMembersChmod", kA, kSetPrivileges, "admfile", "770", "set-permissions"},
        RuleCase{"SetGidOnOwnFile", kA, kSetPrivileges, "alicefile", "2644", "set-id"},
        RuleCase{"SetUserIdOnOwnFile", kA, kSetPrivileges, "alicefile", "4644", "set-id"},
        RuleCase{"MemberWidensShared", kB, kSetPrivileges, "shared/narrow", "770", "shared-mode"},
        RuleCase{"MemberChmodsAclItem", kB, kSetPrivileges, "shared/acl", "750", "acl"},
        RuleCase{"MemberTakesAclItem", kB, kPermitAccess, "shared/acl", kShared, "acl"},
        RuleCase{"FileOverDirectoryBeforeGroupStep", kA, kCreateFile, "alicedir", kNew, nullptr},
        RuleCase{"OtherUser", kA, kPermitAccess, "alicefile", "Team", "own-user", 0, 0, "bob"},
        RuleCase{"Irregular", kA, kPermitAccess, "alicefile", "Team", "regular-user", 0, 0, nullptr,
                 "UID_MIN 5000\n"},
        RuleCase{"SystemGroup", kA, kPermitAccess, "alicefile", "staff", "open-group"},
        RuleCase{"PrimaryGroup", kA, kPermitAccess, "alicefile", "Bob", "primary-group"},
        RuleCase{"OwnDirGetsGroupBit", kA, kCreateDirectory, "alicedir", kShared, "", 02770, kA},
        RuleCase{"OwnFileStaysAFile", kA, kCreateDirectory, "alicefile", kShared, "", 0770, kA},
        RuleCase{"MemberNarrows", kB, kSetPrivileges, "shared/bobs", "750", "", 0750},
        RuleCase{"TakeOverKeepsNarrowMode", kB, kPermitAccess, "shared/narrow", kShared,
                 "shared-mode", 0750},
        RuleCase{"NewModeKeepsStickyAndGroupBits", kB, kSetPrivileges, "shared", "750",
                 "shared-mode", 03750}),
    caseName<RuleCase>);

// Alice already asked for the shared group: six more make seven, and with bob's two the helper
// holds 599.
TEST_F(SafetyRulesTest, CallersMakeEightGroupsEachAndTheHelperHoldsSixHundred) {
  std::vector<RecordedGroup> groups;
  for (gid_t i = 0; i < 596; ++i)
    groups.push_back({fmt::format("zel-g{}", i), mSharedGroup + 1 + i, fmt::format("G{}", i),
                      i < 6 ? kA : 10000 + i / 7});
  addHelperGroups(mRoot, groups);
  auto notes = [this](uid_t caller, const char* file, const char* group, std::string_view reason) {
    return asCaller(caller, [&](ZelHelper& helper) {
      helper.permitAccessToPath(scratch(file), nameOf(caller), group);
      return reason.empty() ? helper.lastReason().empty() : helper.lastReason().starts_with(reason);
    });
  };
  EXPECT_TRUE(notes(kA, "alicefile", "Eighth", ""));
  EXPECT_TRUE(notes(kA, "alicefile", "Ninth", "refused (rule:group-quota)"));
  EXPECT_TRUE(notes(kB, "bobfile", "First", "refused (rule:group-limit)"));
}

}  // namespace
}  // namespace zel::test
