// SPDX-License-Identifier: MIT
// The rules for callers other than root, each row tried through the daemon by a process of the
// caller's uid: a refused request answers NO with one line and the reason naming the rule, and
// changes neither the disk, nor the group file, nor the helper's record. And the use they are
// for: a shared directory of an open helper group that its members work in.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "tests/daemon/daemon_test.h"

namespace zel::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr gid_t kAdm = 4;  // alice and bob are members; not a helper group
constexpr const char* kShared = "Zel Home Users";

// An access ACL on `path` that names bob, with the mode's own classes.
void addAclNamingBob(const std::string& path) {
  struct Entry {
    uint16_t tag, permissions;
    uint32_t id;
  };
  const Entry entries[] = {
      {0x01, 7, ~0u}, {0x02, 7, kBob.uid}, {0x04, 7, ~0u}, {0x10, 7, ~0u}, {0x20, 0, ~0u}};
  std::string acl(4, '\0');
  acl[0] = 2;  // version
  acl.append(reinterpret_cast<const char*>(entries), sizeof entries);
  ASSERT_EQ(setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0)
      << std::strerror(errno);
}

class SafetyRulesTest : public DaemonTest {
 public:
  void SetUp() override {
    std::string passwd = mRoot.readFile("etc/passwd");
    for (const char* user : {"alice", "bob"}) {
      size_t home = passwd.find(fmt::format("/home/{}", user));
      passwd.replace(home, std::strlen("/home/") + std::strlen(user), scratch(user));
    }
    mRoot.writeFile("etc/passwd", passwd);
    mRoot.writeFile("etc/group", mRoot.readFile("etc/group") + "adm:x:4:alice,bob\n");
    makeDirectory(scratch("alice"), 0755, kAlice.uid, kAlice.gid);
    makeDirectory(scratch("bob"), 0755, kBob.uid, kBob.gid);
    makeDirectory(scratch("admdir"), 02750, 0, kAdm);
    makeFile(scratch("admfile"), 0750, 0, kAdm);
    makeDirectory(scratch("bobdir"), 0755, kBob.uid, kAdm);
    makeFile(scratch("bobfile"), 0644, kBob.uid, kAdm);
    makeFile(scratch("alicefile"), 0644, kAlice.uid, 0);
    makeDirectory(scratch("alicedir"), 0755, kAlice.uid, kAlice.gid);
    fs::create_directory_symlink(scratch("admdir"), scratch("alicedir/link"));
    ASSERT_EQ(lchown(scratch("alicedir/link").c_str(), kAlice.uid, kAlice.gid), 0);
    fs::create_directory_symlink(scratch("bobdir"), scratch("rootlink"));
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
    ASSERT_EQ(chmod(scratch("shared/narrow").c_str(), 0750), 0);
    addAclNamingBob(scratch("shared/acl"));
  }

  std::string path(const std::string& relative) const {
    return relative.starts_with("/") || relative.empty() ? relative : scratch(relative);
  }
  std::string recordFile() const { return fullNameRecordPath().substr(mRoot.path().size() + 1); }

  gid_t mSharedGroup = 0;
};

const char* nameOf(uid_t caller) {
  return caller == kBob.uid ? "bob" : "alice";
}

struct RefusedCase {
  const char* name;
  uid_t caller;
  Op op;
  const char* path;
  const char* group;  // or the octal-looking number's text for setPrivileges
  const char* rule;   // after "rule:"; null: NO without a refusal, and without the group step
  void (*prepare)(const SandboxRoot&) = nullptr;
  const char* user = nullptr;  // the caller's own name unless given
  friend void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }
};

class Refused : public SafetyRulesTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, AnswersNoWithTheRuleAndChangesNothing) {
  const RefusedCase& c = GetParam();
  if (c.prepare)
    c.prepare(mRoot);
  std::map<std::string, ItemStatus> disk = snapshotOf(mRoot.scratch());
  std::string groups = mRoot.readFile("etc/group");
  std::string record = mRoot.readFile(recordFile());
  std::vector<std::string> before = c.op == Op::kSetPrivileges ? nsLines() : systemLines();
  size_t auditsBefore = auditLines().size();
  std::string expectedReason = c.rule ? fmt::format("refused (rule:{}): ", c.rule) : "";
  std::string target = path(c.path);
  EXPECT_TRUE(asCaller(c.caller, [&](ZelHelper& helper) {
    bool yes = call(helper, c.op, target, c.user ? c.user : nameOf(c.caller), c.group);
    std::string reason = helper.lastReason();
    return !yes && (c.rule ? reason.starts_with(expectedReason) : reason.empty());
  })) << "the answer or the reason";
  EXPECT_EQ(auditLines().size(), auditsBefore) << "a refused request changes nothing";
  std::vector<std::string> lines = c.op == Op::kSetPrivileges ? nsLines() : systemLines();
  std::vector<std::string> refusals;
  std::copy_if(lines.begin() + static_cast<long>(before.size()), lines.end(),
               std::back_inserter(refusals),
               [](const std::string& line) { return line.starts_with("ZelHelper refused "); });
  if (c.rule)
    EXPECT_THAT(refusals,
                ElementsAre(HasSubstr(fmt::format("for uid {} (rule:{}): ", c.caller, c.rule))));
  else
    EXPECT_THAT(refusals, ::testing::IsEmpty());
  EXPECT_EQ(snapshotOf(mRoot.scratch()), disk);
  EXPECT_EQ(mRoot.readFile("etc/group"), groups);
  EXPECT_EQ(mRoot.readFile(recordFile()), record);
}

constexpr uid_t kA = kAlice.uid;
constexpr uid_t kB = kBob.uid;

constexpr const char* kNew = "New Group";
using enum Op;

void addTeamOfBob(const SandboxRoot& root) {
  addHelperGroups(root, {{"zel-team", 60600, "Team", kB}});
}
void makeAliceIrregular(const SandboxRoot& root) {
  addTeamOfBob(root);
  root.writeFile("etc/login.defs", "UID_MIN 5000\n");
}
void addStaff(const SandboxRoot& root) {
  root.writeFile("etc/group", root.readFile("etc/group") + "staff:x:5000:\n");
}
void recordBobsGroup(const SandboxRoot& root) {
  addHelperGroups(root, {{"bob", kBob.gid, "Bob", kB}});
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Refused,
    ::testing::Values(
        RefusedCase{"RelativePath", kA, kCreateFile, "", kNew, "path"},
        RefusedCase{"DotDotForRoot", 0, kPermitAccess, "bobdir/../admfile", kNew, "path"},
        RefusedCase{"LinkInUsersDirectory", kA, kCreateFile, "alicedir/link/new", kNew, "link"},
        RefusedCase{"RootsLinkInUsersDir", 0, kCreateFile, "rootlink/new", kNew, "link"},
        RefusedCase{"UnsearchableWithItem", kA, kPermitAccess, "private/item", kNew, "search"},
        RefusedCase{"UnsearchableChmod", kA, kSetPrivileges, "private/item", "700", "search"},
        RefusedCase{"TheRootDirectoryForANewGroup", kA, kPermitAccess, "/", "admin", "home"},
        RefusedCase{"OwnHome", kA, kCreateDirectory, "alice", kNew, "home"},
        RefusedCase{"OthersFile", kA, kPermitAccess, "bobfile", kShared, "take-over"},
        RefusedCase{"SharedOfOtherGroup", kB, kCreateFile, "shared/narrow", "bob", "take-over"},
        RefusedCase{"InGroupReadOnlyDirectory", kA, kCreateFile, "admdir/new", kNew, "create-in"},
        RefusedCase{"GroupMembersChmod", kA, kSetPrivileges, "admfile", "770", "set-permissions"},
        RefusedCase{"SetGidOnOwnFile", kA, kSetPrivileges, "alicefile", "2644", "set-id"},
        RefusedCase{"SetUserIdOnOwnFile", kA, kSetPrivileges, "alicefile", "4644", "set-id"},
        RefusedCase{"MemberWidensShared", kB, kSetPrivileges, "shared/narrow", "770",
                    "shared-mode"},
        RefusedCase{"MemberChmodsAclItem", kB, kSetPrivileges, "shared/acl", "750", "acl"},
        RefusedCase{"MemberTakesAclItem", kB, kPermitAccess, "shared/acl", kShared, "acl"},
        RefusedCase{"FileOverDirectoryBeforeGroupStep", kA, kCreateFile, "alicedir", kNew, nullptr},
        RefusedCase{"OtherUser", kA, kPermitAccess, "alicefile", "Team", "own-user", addTeamOfBob,
                    "bob"},
        RefusedCase{"Irregular", kA, kPermitAccess, "alicefile", "Team", "regular-user",
                    makeAliceIrregular},
        RefusedCase{"SystemGroup", kA, kPermitAccess, "alicefile", "staff", "open-group", addStaff},
        RefusedCase{"PrimaryGroup", kA, kPermitAccess, "alicefile", "Bob", "primary-group",
                    recordBobsGroup}),
    caseName<RefusedCase>);

struct AllowedCase {
  const char* name;
  uid_t caller;
  Op op;
  const char* path;
  const char* group;   // or the octal-looking number's text for setPrivileges
  const char* reason;  // how the noted reason begins; "" for none
  uid_t owner;         // afterwards, with the shared group
  mode_t mode;
  friend void PrintTo(const AllowedCase& c, std::ostream* out) { *out << c.name; }
};

class Allowed : public SafetyRulesTest, public ::testing::WithParamInterface<AllowedCase> {};

TEST_P(Allowed, WithinTheRules) {
  const AllowedCase& c = GetParam();
  std::string target = path(c.path);
  bool directory = statusOf(target).isDirectory;
  EXPECT_TRUE(asCaller(c.caller, [&](ZelHelper& helper) {
    bool yes = call(helper, c.op, target, nameOf(c.caller), c.group);
    return (yes || c.op == Op::kSetPrivileges) && helper.lastReason().starts_with(c.reason) &&
           (*c.reason != '\0' || helper.lastReason().empty());
  })) << "the answer or the reason";
  EXPECT_EQ(statusOf(target), (ItemStatus{true, c.owner, mSharedGroup, c.mode, directory}));
}

constexpr const char* kKept = "kept (rule:shared-mode): ";

INSTANTIATE_TEST_SUITE_P(
    Rules, Allowed,
    ::testing::Values(
        AllowedCase{"OwnDirGetsGroupBit", kA, kCreateDirectory, "alicedir", kShared, "", kA, 02770},
        AllowedCase{"OwnFileStaysAFile", kA, kCreateDirectory, "alicefile", kShared, "", kA, 0770},
        AllowedCase{"MemberNarrows", kB, kSetPrivileges, "shared/bobs", "750", "", 0, 0750},
        AllowedCase{"TakeOverKeepsNarrowMode", kB, kPermitAccess, "shared/narrow", kShared, kKept,
                    0, 0750},
        AllowedCase{"NewModeKeepsGroupBit", kB, kSetPrivileges, "shared", "750", kKept, 0, 02750}),
    caseName<AllowedCase>);

TEST_F(SafetyRulesTest, SharedDirectoryForItsMembers) {
  EXPECT_EQ(statusOf(scratch("shared")), (ItemStatus{true, 0, mSharedGroup, 02770, true}));
  EXPECT_EQ(statusOf(scratch("shared/bobs")), (ItemStatus{true, 0, mSharedGroup, 0770, false}));
  EXPECT_THAT(membersOfGroup(mRoot, "zel-home-users"), ElementsAre("alice", "bob"));

  ASSERT_EQ(chmod(scratch("shared").c_str(), 03770), 0);
  EXPECT_TRUE(asCaller(kBob.uid, [this](ZelHelper& helper) {
    helper.setPrivileges(770, scratch("shared"));
    return helper.lastReason().starts_with("kept (rule:shared-mode): ");
  }));
  EXPECT_EQ(statusOf(scratch("shared")).mode, 03770u) << "the sticky bit is kept";
}

// Alice already asked for the shared group: six more make seven, and the helper holds 599.
TEST_F(SafetyRulesTest, CallersMakeEightGroupsEachAndTheHelperHoldsSixHundred) {
  std::vector<RecordedGroup> groups;
  for (gid_t i = 0; i < 598; ++i)
    groups.push_back(
        {fmt::format("zel-g{}", i), 60580 + i, fmt::format("G{}", i), i < 6 ? kA : 10000 + i / 7});
  addHelperGroups(mRoot, groups);
  auto notes = [this](uid_t caller, const char* file, const char* group, std::string_view reason) {
    return asCaller(caller, [&](ZelHelper& helper) {
      helper.permitAccessToPath(scratch(file), nameOf(caller), group);
      std::string noted = helper.lastReason();
      return reason.empty() ? noted.empty() : noted.starts_with(reason);
    });
  };
  EXPECT_TRUE(notes(kA, "alicefile", "Eighth", ""));
  EXPECT_TRUE(notes(kA, "alicefile", "Ninth", "refused (rule:group-quota)"));
  EXPECT_TRUE(notes(kB, "bobfile", "First", "refused (rule:group-limit)"));
}

}  // namespace
}  // namespace zel::test
