// The safety rules for callers other than root, and rule 1 for root: in-process inside a
// CallerScope, or through the daemon from a real process of that uid. A refused request answers
// NO with one line naming the rule and changes neither the disk nor the group file.
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr gid_t kTeam = 5001;  // created by the helper, alice not a member
constexpr gid_t kStaff = 5000;

// An access ACL on `path` that gives alice nothing while others may write.
void denyAliceByAcl(const std::string& path) {
  struct Entry {
    uint16_t tag, permissions;
    uint32_t id;
  };
  const Entry entries[] = {
      {0x01, 7, ~0u}, {0x02, 0, 4242}, {0x04, 7, ~0u}, {0x10, 7, ~0u}, {0x20, 7, ~0u}};
  std::string acl(4, '\0');
  acl[0] = 2;  // version
  acl.append(reinterpret_cast<const char*>(entries), sizeof entries);
  ASSERT_EQ(setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0)
      << std::strerror(errno);
}

class SafetyRulesTest : public OperationsTest {
 public:
  void SetUp() override {
    mRoot.writeFile("etc/group",
                    mRoot.readFile("etc/group") + "staff:x:5000:bob\nteam:x:5001:bob\n");
    ASSERT_FALSE(writeFullNameRecord({{"team", kTeam, "Team", 4243}}).has_value());
    makeDirectory(scratch("rootdir"), 0755);
    makeFile(scratch("rootfile"), 0644);
    makeFile(scratch("bobfile"), 0644, 4243, 4242);
    makeFile(scratch("alicefile"), 0600, 4242, 4242);
    makeDirectory(scratch("teamdir"), 0750, 0, kTeam);
    makeFile(scratch("teamfile"), 0600, 0, kTeam);
    makeDirectory(scratch("acldir"), 0777);
    denyAliceByAcl(scratch("acldir"));
    fs::create_directory_symlink(scratch("rootdir"), scratch("dirlink"));
    fs::create_symlink(scratch("rootfile"), scratch("filelink"));
  }
  std::string path(const std::string& relative) const {
    return relative.starts_with("/") ? relative : scratch(relative);
  }
};

using Request = std::function<bool(ZelHelper&, const SafetyRulesTest&)>;

struct RefusedCase {
  const char* name;
  uid_t caller;
  Request request;
  const char* rule;  // a part of the rule's text
  LogChannel channel;
  friend void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }
};

class Refused : public SafetyRulesTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, AnswersNoWithOneLineAndChangesNothing) {
  std::map<std::string, ItemStatus> disk = snapshotOf(mRoot.scratch());
  std::string groups = mRoot.readFile("etc/group");
  std::string record = mRoot.readFile(fullNameRecordPath().substr(mRoot.path().size() + 1));
  EXPECT_FALSE(asCaller(GetParam().caller,
                        [this](ZelHelper& helper) { return GetParam().request(helper, *this); }));
  std::vector<std::string> lines =
      GetParam().channel == LogChannel::kNSLog ? nsLines() : systemLines();
  ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
  EXPECT_THAT(lines[0], StartsWith("ZelHelper refused "));
  EXPECT_THAT(lines[0], HasSubstr(fmt::format("for uid {}", GetParam().caller)));
  EXPECT_THAT(lines[0], HasSubstr(GetParam().rule));
  EXPECT_EQ(snapshotOf(mRoot.scratch()), disk);
  EXPECT_EQ(mRoot.readFile("etc/group"), groups);
  EXPECT_EQ(mRoot.readFile(fullNameRecordPath().substr(mRoot.path().size() + 1)), record);
}

// setPrivileges answers nothing; its cases answer false for the test.
Request setPrivileges(uint32_t octalLooking, const char* relative) {
  return [=](ZelHelper& helper, const SafetyRulesTest& test) {
    helper.setPrivileges(octalLooking, test.path(relative));
    return false;
  };
}
Request createFile(const char* relative, const char* user, const char* group) {
  return [=](ZelHelper& helper, const SafetyRulesTest& test) {
    return helper.createFile(test.path(relative), user, group);
  };
}
Request createDirectory(const char* relative, const char* user, const char* group) {
  return [=](ZelHelper& helper, const SafetyRulesTest& test) {
    return helper.createDirectory(test.path(relative), user, group);
  };
}
Request permitAccess(const char* relative, const char* user, const char* group) {
  return [=](ZelHelper& helper, const SafetyRulesTest& test) {
    return helper.permitAccessToPath(test.path(relative), user, group);
  };
}

constexpr const char* kOwnUser = "(rule:own-user)";
constexpr const char* kOwnGroups = "(rule:open-group)";
constexpr const char* kTakeOver = "taken over only for its owner";
constexpr const char* kCreate = "created only below a directory the caller can write to";
constexpr const char* kPermissions = "set only on items the caller owns or whose group";
constexpr const char* kSetId = "set-user-ID and set-group-ID bits";
constexpr const char* kPathShape = "paths must be absolute, without . or .. components";
constexpr const char* kLink = "no symbolic link is followed";

INSTANTIATE_TEST_SUITE_P(
    Rules, Refused,
    ::testing::Values(
        RefusedCase{"NamesAnotherUser", 4242, createDirectory("new", "bob", "alice"), kOwnUser,
                    LogChannel::kSystemLog},
        RefusedCase{"JoinsAGroupNotMadeByTheHelper", 4242, createDirectory("new", "alice", "staff"),
                    kOwnGroups, LogChannel::kSystemLog},
        RefusedCase{"TakesOverRootFile", 4242, permitAccess("rootfile", "alice", "alice"),
                    kTakeOver, LogChannel::kSystemLog},
        RefusedCase{"TakesOverRootDirectory", 4242, createDirectory("rootdir", "alice", "alice"),
                    kTakeOver, LogChannel::kSystemLog},
        RefusedCase{"CreatesDeepBelowRootDirectory", 4242,
                    createDirectory("rootdir/a/b/c", "alice", "alice"), kCreate,
                    LogChannel::kSystemLog},
        RefusedCase{"CreatesFileInRootDirectory", 4242, createFile("rootdir/new", "alice", "alice"),
                    kCreate, LogChannel::kSystemLog},
        RefusedCase{"CreatesWhereAnAclDeniesIt", 4242,
                    createDirectory("acldir/new", "alice", "alice"), kCreate,
                    LogChannel::kSystemLog},
        RefusedCase{"SetsPermissionsOnRootFile", 4242, setPrivileges(777, "rootfile"), kPermissions,
                    LogChannel::kNSLog},
        RefusedCase{"SetsSetUserIdOnAnotherOwnersFile", 4242, setPrivileges(4755, "bobfile"),
                    kSetId, LogChannel::kNSLog},
        RefusedCase{"RelativePathForRoot", 0,
                    [](ZelHelper& helper, const SafetyRulesTest&) {
                      return helper.createDirectory("relative/dir", "alice", "alice");
                    },
                    kPathShape, LogChannel::kSystemLog},
        RefusedCase{"DotDotForRoot", 0, permitAccess("rootdir/../rootfile", "alice", "alice"),
                    kPathShape, LogChannel::kSystemLog},
        RefusedCase{"LinkInPath", 4242, createDirectory("dirlink/new", "alice", "alice"), kLink,
                    LogChannel::kSystemLog},
        RefusedCase{"LinkInPathForRoot", 0, createFile("dirlink/new", "alice", "alice"), kLink,
                    LogChannel::kSystemLog},
        RefusedCase{"LinkAsItemForRoot", 0, permitAccess("filelink", "alice", "alice"), kLink,
                    LogChannel::kSystemLog},
        RefusedCase{"LinkForPermissionsForRoot", 0, setPrivileges(777, "filelink"), kLink,
                    LogChannel::kNSLog}),
    caseName<RefusedCase>);

struct AllowedCase {
  const char* name;
  Request request;
  const char* item;
  std::function<ItemStatus(const SandboxRoot&)> expected;
  friend void PrintTo(const AllowedCase& c, std::ostream* out) { *out << c.name; }
};

class Allowed : public SafetyRulesTest, public ::testing::WithParamInterface<AllowedCase> {};

TEST_P(Allowed, ForAliceWithinTheRules) {
  EXPECT_TRUE(asCaller(kAlice.uid,
                       [this](ZelHelper& helper) { return GetParam().request(helper, *this); }));
  for (const std::string& line : systemLines())
    EXPECT_THAT(line, ::testing::Not(HasSubstr("refused")));
  EXPECT_THAT(nsLines(), ::testing::IsEmpty());
  EXPECT_EQ(statusOf(path(GetParam().item)), GetParam().expected(mRoot));
}

ItemStatus provisioned(const SandboxRoot& root, const char* group, uid_t owner, bool directory) {
  return ItemStatus{true, owner, gidOfGroup(root, group), 0770, directory};
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Allowed,
    ::testing::Values(
        AllowedCase{
            "NewGroupInWritableDirectory", createDirectory("mine", "alice", "Alice Team"), "mine",
            [](const SandboxRoot& root) { return provisioned(root, "zel-alice-team", 0, true); }},
        AllowedCase{"TakesOverOwnFile", createFile("alicefile", "alice", "Team"), "alicefile",
                    [](const SandboxRoot& root) { return provisioned(root, "team", 4242, false); }},
        AllowedCase{"JoinsHelperGroup", permitAccess("alicefile", "alice", "Team"), "alicefile",
                    [](const SandboxRoot& root) { return provisioned(root, "team", 4242, false); }},
        AllowedCase{"CreatesInDirectoryOfTheGroup",
                    createDirectory("teamdir/new/sub", "alice", "Team"), "teamdir/new/sub",
                    [](const SandboxRoot& root) { return provisioned(root, "team", 0, true); }},
        AllowedCase{"TakesOverItemOfTheGroup", permitAccess("teamfile", "alice", "Team"),
                    "teamfile",
                    [](const SandboxRoot& root) { return provisioned(root, "team", 0, false); }},
        AllowedCase{"SetsPermissionsOnItemOfItsGroup",
                    [](ZelHelper& helper, const SafetyRulesTest& test) {
                      helper.setPrivileges(770, test.path("bobfile"));
                      return true;
                    },
                    "bobfile",
                    [](const SandboxRoot&) {
                      return ItemStatus{true, 4243, 4242, 0770, false};
                    }},
        AllowedCase{"SetsSetUserIdOnOwnFile",
                    [](ZelHelper& helper, const SafetyRulesTest& test) {
                      helper.setPrivileges(4750, test.path("alicefile"));
                      return true;
                    },
                    "alicefile",
                    [](const SandboxRoot&) {
                      return ItemStatus{true, 4242, 4242, 04750, false};
                    }}),
    caseName<AllowedCase>);

TEST_F(SafetyRulesTest, JoiningAHelperGroupAddsTheCaller) {
  ASSERT_TRUE(asCaller(kAlice.uid, [this](ZelHelper& helper) {
    return helper.createDirectory(scratch("teamwork"), "alice", "Team");
  }));
  EXPECT_THAT(membersOfGroup(mRoot, "team"), ElementsAre("bob", "alice"));
}

}  // namespace
}  // namespace zel::test
