// The helper commands end to end: the built zelhelper run as root and as an unprivileged user
// against the real socket-activated daemon (what each answer prints and how it exits is in
// tests/operations/command_line_test.cpp).
#include <gtest/gtest.h>

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
  for (const char* command :
       {"version", "create-file", "create-dir", "permit", "oct-to-dec", "set-privileges"}) {
    const CommandResult result = zelhelper({command, "--help"});
    EXPECT_EQ(result.status, 0) << command;
    EXPECT_NE(result.out.find("Usage"), std::string::npos) << command;
  }
}

}  // namespace
}  // namespace zel::test
