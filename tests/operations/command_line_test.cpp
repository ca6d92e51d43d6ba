// SPDX-License-Identifier: MIT
// The command line run by an unprivileged user (setpriv drops to alice, without supplementary
// groups, as a session that logged in before she joined any group) against the real daemon:
// what it prints and how it exits for each kind of answer, and the paths it sends.
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

using ::testing::StartsWith;

class CommandLineAsUser : public OperationsTest {
 public:
  void SetUp() override {
    helper();  // the daemon listens
    makeFile(scratch("rootfile"), 0644);
  }
  // Runs zelhelper as alice in `directory`; "SCRATCH/" at the start of an argument stands for
  // the scratch directory.
  CommandResult asAlice(const std::vector<std::string>& arguments,
                        const std::string& directory = "/") {
    std::vector<std::string> argv = {
        "setpriv", "--reuid=4242", "--regid=4242", "--clear-groups",
        "env",     "-C",           directory,      zelhelperExecutable()};
    for (const std::string& argument : arguments)
      argv.push_back(argument.starts_with("SCRATCH/") ? scratch(argument.substr(8)) : argument);
    return runCommand(argv);
  }
};

struct Outcome {
  const char* name;
  void (*prepare)(CommandLineAsUser&);
  std::vector<std::string> arguments;
  int status;
  const char* out;
  const char* errStart;  // standard error begins with this; "" means it is empty
  friend void PrintTo(const Outcome& c, std::ostream* out) { *out << c.name; }
};

class CommandLineOutcome : public CommandLineAsUser,
                           public ::testing::WithParamInterface<Outcome> {};

TEST_P(CommandLineOutcome, PrintsTheAnswerAndExitsByIt) {
  if (GetParam().prepare)
    GetParam().prepare(*this);
  const CommandResult result = asAlice(GetParam().arguments);
  EXPECT_EQ(result.status, GetParam().status) << result.err;
  EXPECT_EQ(result.out, GetParam().out);
  if (*GetParam().errStart == '\0')
    EXPECT_EQ(result.err, "");
  else
    EXPECT_THAT(result.err, StartsWith(GetParam().errStart));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CommandLineOutcome,
    ::testing::Values(
        Outcome{"RefusedWithItsReason",
                nullptr,
                {"create-file", "SCRATCH/new", "--group", "Alice Team", "--user", "bob"},
                1,
                "NO\n",
                "zelhelper: refused (rule:own-user): "},
        Outcome{"YesForANewGroupTellsHowToUseIt",
                nullptr,
                {"create-dir", "SCRATCH/mine", "--group", "Alice Team"},
                0,
                "YES\n",
                "zelhelper: you are now in the group zel-alice-team, which this session does not "
                "have yet: log in again, or run 'newgrp zel-alice-team', to use it here\n"},
        Outcome{"YesWithKeptBitsNotesThem",
                [](CommandLineAsUser& test) {
                  test.asAlice({"create-file", "SCRATCH/shared", "--group", "Alice Team"});
                  ASSERT_EQ(chmod(test.scratch("shared").c_str(), 0750), 0);
                },
                {"permit", "SCRATCH/shared", "--group", "Alice Team"},
                0,
                "YES\n",
                "zelhelper: note: kept (rule:shared-mode): "},
        Outcome{"SetPrivilegesDone",
                [](CommandLineAsUser& test) {
                  makeFile(test.scratch("own"), 0600, kAlice.uid, kAlice.gid);
                },
                {"set-privileges", "640", "SCRATCH/own"},
                0,
                "",
                ""},
        Outcome{"SetPrivilegesRefusedWithItsReason",
                nullptr,
                {"set-privileges", "777", "SCRATCH/rootfile"},
                1,
                "",
                "zelhelper: refused (rule:set-permissions): "}),
    caseName<Outcome>);

// The path is resolved as alice sees it before it is sent: the daemon would not follow the link,
// which lies in a directory that others may write to.
TEST_F(CommandLineAsUser, SendsARelativePathResolvedWithTheUsersRights) {
  makeDirectory(scratch("real"), 01777);
  ASSERT_EQ(symlink(scratch("real").c_str(), scratch("link").c_str()), 0);
  const CommandResult result =
      asAlice({"create-dir", "link/new/deeper", "--group", "Alice Team"}, mRoot.scratch());
  EXPECT_EQ(result.out, "YES\n") << result.err;
  EXPECT_TRUE(statusOf(scratch("real/new/deeper")).isDirectory);
}

}  // namespace
}  // namespace zel::test
