// The command line run by an unprivileged user (setpriv drops to alice, without supplementary
// groups) against the real daemon: allowed requests are served, refused ones change nothing.
#include <string>
#include <vector>

#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

class CommandLineAsUser : public OperationsTest {
 protected:
  void SetUp() override {
    helper();  // the daemon listens
    makeDirectory(scratch("rootdir"), 0755);
    makeFile(scratch("rootfile"), 0644);
  }
  CommandResult asAlice(std::vector<std::string> arguments) {
    std::vector<std::string> argv = {"setpriv", "--reuid=4242", "--regid=4242", "--clear-groups",
                                     zelhelperExecutable()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runCommand(argv);
  }
};

TEST_F(CommandLineAsUser, CreatesADirectoryForItsOwnNewGroup) {
  CommandResult result = asAlice({"create-dir", scratch("mine"), "--group", "Alice Team"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "YES\n");
  EXPECT_EQ(statusOf(scratch("mine")),
            (ItemStatus{true, 0, gidOfGroup(mRoot, "alice-team"), 02770, true}));
  EXPECT_THAT(membersOfGroup(mRoot, "alice-team"), ElementsAre("alice"));
}

struct RefusedCommand {
  const char* name;
  std::vector<std::string> arguments;  // "SCRATCH/" stands for the scratch directory
  int status;
  const char* out;
  friend void PrintTo(const RefusedCommand& c, std::ostream* out) { *out << c.name; }
};

class RefusedCommandAsUser : public CommandLineAsUser,
                             public ::testing::WithParamInterface<RefusedCommand> {};

TEST_P(RefusedCommandAsUser, ChangesNothing) {
  std::map<std::string, ItemStatus> disk = snapshotOf(mRoot.scratch());
  std::string groups = mRoot.readFile("etc/group");
  std::vector<std::string> arguments;
  for (const std::string& argument : GetParam().arguments)
    arguments.push_back(argument.starts_with("SCRATCH/") ? scratch(argument.substr(8)) : argument);

  CommandResult result = asAlice(arguments);
  EXPECT_EQ(result.status, GetParam().status) << result.err;
  EXPECT_EQ(result.out, GetParam().out);
  std::vector<std::string> lines;
  for (const std::vector<std::string>& channel : {systemLines(), nsLines()}) {
    for (const std::string& line : channel) {
      if (line.starts_with("ZelHelper refused "))
        lines.push_back(line);
    }
  }
  ASSERT_THAT(lines, SizeIs(1));
  EXPECT_THAT(lines[0], HasSubstr(" for uid 4242"));
  EXPECT_EQ(snapshotOf(mRoot.scratch()), disk);
  EXPECT_EQ(mRoot.readFile("etc/group"), groups);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RefusedCommandAsUser,
    ::testing::Values(
        RefusedCommand{"DirectoryInRootsDirectory",
                       {"create-dir", "SCRATCH/rootdir/new", "--group", "Alice Team"},
                       1,
                       "NO\n"},
        RefusedCommand{"FileForAnotherUser",
                       {"create-file", "SCRATCH/new", "--group", "Alice Team", "--user", "bob"},
                       1,
                       "NO\n"},
        RefusedCommand{"RootsFile", {"permit", "SCRATCH/rootfile", "--group", "alice"}, 1, "NO\n"},
        RefusedCommand{
            "JoinRootsGroup", {"create-dir", "SCRATCH/new", "--group", "root"}, 1, "NO\n"},
        RefusedCommand{
            "PermissionsOfRootsFile", {"set-privileges", "777", "SCRATCH/rootfile"}, 0, ""}),
    caseName<RefusedCommand>);

}  // namespace
}  // namespace zel::test
