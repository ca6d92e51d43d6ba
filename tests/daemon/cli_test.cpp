// The helper commands end to end: the built zelhelper run as root and as an unprivileged user
// against the real socket-activated daemon, and with no daemon at all.
#include <gtest/gtest.h>

#include "resources/labels.h"
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

// Each provisioning command prints the daemon's YES or NO and exits 0 or 1 to match; without
// --user the caller's own login name goes to the daemon.
TEST_F(HelperCommands, ProvisioningCommandsPrintTheAnswerAndExitByIt) {
  const std::string base = mRoot.scratch();
  const std::vector<std::pair<std::vector<std::string>, std::string>> commands = {
      {{"create-dir", base + "/shared", "--group", "zelshare", "--user", "root"}, "YES\n"},
      {{"create-file", base + "/shared/file", "--group", "zelshare"}, "YES\n"},
      {{"permit", base + "/shared/file", "-g", "zelshare", "-u", "root"}, "YES\n"},
      {{"create-file", base + "/missing-parent/file", "--group", "zelshare"}, "NO\n"},
      {{"permit", base + "/absent", "--group", "zelshare"}, "NO\n"},
  };
  for (const auto& [command, answer] : commands) {
    const CommandResult result = zelhelper(command);
    SCOPED_TRACE(command[0] + " " + command[1]);
    EXPECT_EQ(result.out, answer) << result.err;
    EXPECT_EQ(result.status, answer == "YES\n" ? 0 : 1);
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
  for (const char* command :
       {"version", "create-file", "create-dir", "permit", "oct-to-dec", "set-privileges"}) {
    const CommandResult result = zelhelper({command, "--help"});
    EXPECT_EQ(result.status, 0) << command;
    EXPECT_NE(result.out.find("Usage"), std::string::npos) << command;
  }
}

TEST(HelperCommandsWithoutDaemon, ExitThreeNamingTheSocketAndTheInstallCommand) {
  SandboxRoot root;
  const std::string socket = root.at("run/" + std::string(kMachServiceName));
  for (const std::vector<std::string>& command :
       std::vector<std::vector<std::string>>{{"version"},
                                             {"create-file", "/tmp/x", "-g", "g", "-u", "root"},
                                             {"oct-to-dec", "770"},
                                             {"set-privileges", "770", "/tmp/x"}}) {
    const CommandResult result = zelhelper(command, kAlice);
    EXPECT_EQ(result.status, 3) << command[0];
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find(socket), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("sudo zelhelper install"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

}  // namespace
}  // namespace zel::test
