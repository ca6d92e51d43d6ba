// SPDX-License-Identifier: MIT
// The built zelhelper end to end: convert and units (each kind of input and output once), every
// kind of bad input (exit 2), no helper at the socket (exit 3), the helper commands via the daemon.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <fmt/format.h>

#include "platform/full_name_record.h"
#include "tests/support/daemon_harness.h"
#include "tests/values/value_test_support.h"

namespace zel::test {
namespace {

struct Case {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string errPart;  // a part of what standard error must hold
  std::optional<SandboxUser> user = std::nullopt;
};

class CommandLine : public testing::TestWithParam<Case> {
 protected:
  // "~/" at the start of an argument stands for the sandbox's scratch directory.
  CommandResult run(std::vector<std::string> args, std::optional<SandboxUser> user = {}) {
    for (std::string& arg : args)
      if (arg.starts_with("~/"))
        arg = mRoot.scratch() + arg.substr(1);
    args.insert(args.begin(), zelhelperExecutable());
    return runCommand(args, user);
  }
  void check(const Case& c) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const CommandResult result = run(c.args, c.user);
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(result.out, c.out);
    EXPECT_NE(result.err.find(c.errPart), std::string::npos) << result.err;
    if (c.errPart.empty() && c.status == 0) {
      EXPECT_EQ(result.err, "");
    }
  }

  SandboxRoot mRoot;  // its socket has no helper
  TemporaryConfigHome mHome;
  void SetUp() override { setEnv("TZ", "UTC"); }
};

TEST_P(CommandLine, PrintsTheResultOrARefusal) {
  check(GetParam());
}

constexpr SandboxUser kStranger{"stranger", 4999, 4999};  // not in the sandbox's etc/passwd

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandLine,
    testing::ValuesIn(std::vector<Case>{
        {{"convert", "TicksStringSeconds", "--reverse", "1.005"}, 0, "100\n", ""},
        {{"convert", "Temperature", "--", "-500"}, 0, "23\n", ""},
        {{"convert", "TemperatureString", "--string", "2150"}, 0, "70.7 °F\n", ""},
        {{"convert", "TicksMinutes", "--nil"}, 0, "nil\n", ""},
        {{"convert", "DateToDaySeconds", "--reverse", "--date", "2026-03-29T13:45:30.5+02:00"},
         0,
         "42330\n",
         ""},
        {{"convert", "TicksTime", "--reverse", "45"}, 2, "", "--string passes it as a text"},
        {{"convert", "Kelvin", "1"}, 2, "", "the names are:\nTicksStringSeconds\n"},
        {{"convert", "TemperatureString", "--reverse", "1"}, 2, "", "forward only"},
        {{"convert", "DateToDaySeconds", "--date", "yesterday"}, 2, "", "not an ISO 8601 date"},
        {{"convert", "Temperature", "--number", "12abc"}, 2, "", "not a decimal number"},
        {{"convert", "Temperature", "--nil", "1"}, 2, "", "--nil takes no VALUE"},
        {{"convert", "Temperature"}, 2, "", "needs a VALUE"},
        {{"convert", "--list", "Temperature"}, 2, "", "--list takes no NAME"},
        {{"set-privileges", "4294967296", "/tmp/x"}, 2, "", "whole number"},
        {{"set-privileges", "780", "/tmp/x"}, 2, "", "digits 0 to 7"},
        {{"create-dir", "/tmp/x", "-g", "g"}, 2, "", "name the user with --user", kStranger},
        {{"version"}, 3, "", "install it with: sudo zelhelper install"},
    }));

TEST_F(CommandLine, ListsTheNamesStoresUnitsForLaterConversionsAndPrintsLocalDates) {
  const std::string names = run({"convert", "--list"}).out;
  EXPECT_TRUE(names.starts_with("TicksStringSeconds\n") && names.ends_with("\nFlow\n")) << names;
  EXPECT_EQ(run({"units", "--celsius", "yes", "--metric", "yes"}).out,
            "celsius: yes\nmetric: yes\n");
  EXPECT_EQ(run({"convert", "Temperature", "2150"}).out, "21.5\n");
  EXPECT_EQ(run({"units", "--metric", "no"}).out, "celsius: yes\nmetric: no\n");
  EXPECT_EQ(run({"convert", "Flow", "1"}).out, "35.314667\n");
  // A date prints in local time with the zone's offset (that it is today: the transformer's test).
  setEnv("TZ", "Asia/Kolkata");
  EXPECT_THAT(run({"convert", "DateToDaySeconds", "3661"}).out,
              testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}T01:01:01\\+05:30\n"));
}

// A user who can set root's XDG_CONFIG_HOME to her own directory plants a link there, or makes
// the directory herself: root's preference is not written into either.
TEST_F(CommandLine, UnitsAreNotStoredThroughALinkOrInAnotherUsersDirectory) {
  for (bool link : {true, false}) {
    TemporaryConfigHome home;
    const std::string directory = home.clientDirectory();
    if (link)
      std::filesystem::create_directory_symlink(home.path, directory);
    else
      std::filesystem::create_directory(directory);
    ASSERT_EQ(lchown(directory.c_str(), kAlice.uid, kAlice.gid), 0);
    const CommandResult result = run({"units", "--celsius", "yes"});
    EXPECT_EQ(result.status, 1) << link;
    EXPECT_NE(result.err.find("not stored"), std::string::npos) << result.err;
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(home.path), {}), 1)
        << link;
  }
}

// Who asked for a group is no one's business but root's, the asker's, and, for root's groups,
// anyone's.
const char* const kGroupsAsAlice =
    "GID    NAME            FULL NAME   ASKED BY      OPEN\n"
    "60578  zel-alice-team  Alice Team  alice         yes\n"
    "60579  zel-bob-team    Bob Team    another user  yes\n"
    "60580  zel-root-team   Root Team   root          no\n"
    "you asked for 1 of at most 8 helper groups\n";
const char* const kGroupsAsRoot =
    "GID    NAME            FULL NAME   ASKED BY  OPEN\n"
    "60578  zel-alice-team  Alice Team  alice     yes\n"
    "60579  zel-bob-team    Bob Team    bob       yes\n"
    "60580  zel-root-team   Root Team   root      no\n"
    "the helper holds 3 groups; users can make new ones until it holds 600\n";

// The helper commands through the real socket-activated daemon, one path through each, as root
// and as unprivileged users in one sandbox.
TEST_F(CommandLine, HelperCommandsAnswerAndExitAsTheHelperAnswers) {
  DaemonHarness daemon{mRoot};
  const Case steps[] = {
      {{"version"}, 0, "3\n", ""},
      {{"create-dir", "~/a", "-g", "Alice Team"}, 0, "YES\n", "newgrp zel-alice-team", kAlice},
      {{"create-file", "~/a/f", "-g", "Alice Team", "-u", "bob"}, 1, "NO\n", "own-user", kAlice},
      {{"create-file", "~/k", "-g", "Alice Team"}, 0, "YES\n", "newgrp zel-alice-team", kAlice},
      {{"set-privileges", "750", "~/k"}, 0, "", "", kAlice},
      {{"permit", "~/k", "-g", "Alice Team"}, 0, "YES\n", "note: kept (rule:shared-mode)", kAlice},
      {{"create-dir", "~/b", "-g", "Bob Team"}, 0, "YES\n", "newgrp zel-bob-team", kBob},
      {{"create-file", "~/r", "-g", "Root Team"}, 0, "YES\n", "newgrp zel-root-team"},
      {{"set-privileges", "777", "~/r"}, 1, "", "refused (rule:set-permissions)", kAlice},
      {{"oct-to-dec", "770"}, 0, "504\n", ""},
      {{"oct-to-dec", "0"}, 0, "0\n", ""},
      {{"oct-to-dec", "779"}, 1, "0\n", ""},  // the helper's "not octal-looking"
      {{"groups"}, 0, kGroupsAsAlice, "", kAlice},
      {{"groups"}, 0, kGroupsAsRoot, ""},
  };
  for (const Case& step : steps)
    check(step);
}

// A relative path means what it means to the user who typed it: it is resolved with her rights
// before it is sent, since the daemon follows no link in a directory that others may write to.
TEST_F(CommandLine, SendsARelativePathResolvedWithTheUsersRights) {
  DaemonHarness daemon{mRoot};
  const std::string real = mRoot.scratch() + "/real";
  ASSERT_EQ(mkdir(real.c_str(), 01777), 0);
  ASSERT_EQ(chmod(real.c_str(), 01777), 0);
  ASSERT_EQ(symlink(real.c_str(), (mRoot.scratch() + "/link").c_str()), 0);
  const CommandResult result = runCommand({"env", "-C", mRoot.scratch(), zelhelperExecutable(),
                                           "create-dir", "link/new", "-g", "Alice Team"},
                                          kAlice);
  EXPECT_EQ(result.out, "YES\n") << result.err;
  EXPECT_TRUE(std::filesystem::is_directory(real + "/new"));
}

// More groups than one answer of the helper holds, with full names longer than a line shows.
TEST_F(CommandLine, GroupsListsEachGroupOnceWhateverItTakes) {
  DaemonHarness daemon{mRoot};
  std::vector<RecordedGroup> recorded;
  std::string groupFile = mRoot.readFile("etc/group");
  for (gid_t gid = 60700; gid < 60800; ++gid) {
    recorded.push_back({fmt::format("zel-{}", gid), gid, fmt::format("{:x<300}", gid), kBob.uid});
    groupFile += fmt::format("zel-{}:x:{}:\n", gid, gid);
  }
  ASSERT_FALSE(writeFullNameRecord(recorded));
  mRoot.writeFile("etc/group", groupFile);
  const std::string out = run({"groups"}, kAlice).out;
  for (gid_t gid = 60700; gid < 60800; ++gid) {
    const std::string line = fmt::format("\n{0}  zel-{0}  {0:x<256}…  another user  yes\n", gid);
    EXPECT_TRUE(out.find(line) != std::string::npos && out.find(line) == out.rfind(line)) << gid;
  }
  EXPECT_TRUE(out.ends_with("\nyou asked for 0 of at most 8 helper groups\n"));
}

}  // namespace
}  // namespace zel::test
