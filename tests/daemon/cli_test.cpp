// SPDX-License-Identifier: MIT
// The helper commands end to end: the built zelhelper run as root and as an unprivileged user
// against the real socket-activated daemon (what each answer prints and how it exits is in
// tests/operations/command_line_test.cpp).
#include <sstream>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/full_name_record.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

constexpr SandboxUser kStranger{"stranger", 4999, 4999};  // not in the sandbox's etc/passwd

CommandResult zelhelper(std::vector<std::string> arguments,
                        std::optional<SandboxUser> user = std::nullopt) {
  arguments.insert(arguments.begin(), zelhelperExecutable());
  return runCommand(arguments, user);
}

class HelperCommands : public ::testing::Test {
 protected:
  SandboxRoot mRoot;
  DaemonHarness mDaemon{mRoot};
};

TEST_F(HelperCommands, VersionPrintsThree) {
  for (auto user : {std::optional<SandboxUser>{}, std::optional<SandboxUser>{kAlice}}) {
    const CommandResult result = zelhelper({"version"}, user);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "3\n");
  }
}

TEST_F(HelperCommands, OctToDecPrintsWhatTheDaemonAnswers) {
  auto helper = mDaemon.connect();
  ASSERT_NE(helper, nullptr);
  for (uint32_t n : {770u, 0u, 779u, 4294967295u}) {
    const CommandResult result = zelhelper({"oct-to-dec", std::to_string(n)}, kAlice);
    const uint32_t answer = helper->octToDec(n);
    EXPECT_EQ(result.out, std::to_string(answer) + "\n") << n;
    // 0 for a non-zero number is the daemon's "not octal-looking".
    EXPECT_EQ(result.status, answer == 0 && n != 0 ? 1 : 0) << n;
  }
}

struct BadInput {
  const char* name;
  std::vector<std::string> arguments;
  const char* message;
};

void PrintTo(const BadInput& value, std::ostream* out) {
  *out << value.name;
}

class HelperCommandsBadInput : public HelperCommands,
                               public ::testing::WithParamInterface<BadInput> {};

TEST_P(HelperCommandsBadInput, ExitsTwoWithAReason) {
  const CommandResult result = zelhelper(GetParam().arguments);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, HelperCommandsBadInput,
    ::testing::Values(BadInput{"NotANumber", {"oct-to-dec", "seven"}, "whole number"},
                      BadInput{"Negative", {"oct-to-dec", "-770"}, "whole number"},
                      BadInput{
                          "TooBig", {"set-privileges", "4294967296", "/tmp/x"}, "whole number"},
                      BadInput{"MissingGroup", {"create-dir", "/tmp/x"}, "--group is required"},
                      BadInput{"MissingPath", {"permit", "--group", "g"}, "PATH is required"},
                      BadInput{"ExtraArgument", {"version", "now"}, "zelhelper"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HelperCommands, AUserWithoutANameMustNameOne) {
  const CommandResult anonymous = zelhelper({"create-dir", "/tmp/x", "-g", "g"}, kStranger);
  EXPECT_EQ(anonymous.status, 2);
  EXPECT_NE(anonymous.err.find("--user"), std::string::npos) << anonymous.err;
}

TEST_F(HelperCommands, EveryCommandHasHelp) {
  for (const char* command : {"version", "create-file", "create-dir", "permit", "oct-to-dec",
                              "set-privileges", "groups"}) {
    const CommandResult result = zelhelper({command, "--help"});
    EXPECT_EQ(result.status, 0) << command;
    EXPECT_NE(result.out.find("Usage"), std::string::npos) << command;
  }
}

// Who asked for a group is no one's business but root's, the asker's, and, for root's groups,
// anyone's.
TEST_F(HelperCommands, GroupsTellWhoAskedOnlyToWhomItMayConcern) {
  zelhelper({"create-dir", mRoot.scratch() + "/a", "-g", "Alice Team"}, kAlice);
  zelhelper({"create-dir", mRoot.scratch() + "/b", "-g", "Bob Team"}, kBob);
  zelhelper({"create-dir", mRoot.scratch() + "/r", "-g", "Root Team"});
  const CommandResult asAlice = zelhelper({"groups"}, kAlice);
  EXPECT_EQ(asAlice.status, 0) << asAlice.err;
  EXPECT_EQ(asAlice.out,
            "GID    NAME            FULL NAME   ASKED BY      OPEN\n"
            "60578  zel-alice-team  Alice Team  alice         yes\n"
            "60579  zel-bob-team    Bob Team    another user  yes\n"
            "60580  zel-root-team   Root Team   root          no\n"
            "you asked for 1 of at most 8 helper groups\n");
  EXPECT_EQ(zelhelper({"groups"}).out,
            "GID    NAME            FULL NAME   ASKED BY  OPEN\n"
            "60578  zel-alice-team  Alice Team  alice     yes\n"
            "60579  zel-bob-team    Bob Team    bob       yes\n"
            "60580  zel-root-team   Root Team   root      no\n"
            "the helper holds 3 groups; users can make new ones until it holds 600\n");
}

// More groups than one answer of the helper holds, with full names longer than a line shows.
TEST_F(HelperCommands, GroupsListsEachGroupOnceWhateverItTakes) {
  std::vector<RecordedGroup> recorded;
  std::string groupFile = mRoot.readFile("etc/group");
  for (gid_t gid = 60700; gid < 60800; ++gid) {
    recorded.push_back({fmt::format("zel-{}", gid), gid, fmt::format("{:x<300}", gid), kBob.uid});
    groupFile += fmt::format("zel-{}:x:{}:\n", gid, gid);
  }
  ASSERT_FALSE(writeFullNameRecord(recorded));
  mRoot.writeFile("etc/group", groupFile);
  std::istringstream out(zelhelper({"groups"}, kAlice).out);
  std::string line;
  std::getline(out, line);
  for (gid_t gid = 60700; gid < 60800; ++gid) {
    std::getline(out, line);
    EXPECT_EQ(line, fmt::format("{0}  zel-{0}  {0:x<256}…  another user  yes", gid));
  }
  std::getline(out, line);
  EXPECT_EQ(line, "you asked for 0 of at most 8 helper groups");
}

}  // namespace
}  // namespace zel::test
