// SPDX-License-Identifier: MIT
// Asking for the rights: root is granted them without starting anything; an ordinary user's
// consent comes through pkexec (a stand-in playing each of its outcomes) and the root side that
// it starts, which runs alone, as root, and does its steps and nothing else.
#include "platform/authorization.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include <fmt/format.h>

#include "platform/consent_channel.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/installed_helper.h"

namespace zel {
namespace {

const std::string kZelhelper = test::zelhelperExecutable();
const std::string kBuildDirectory = std::filesystem::path(kZelhelper).parent_path().string();

// The built zelhelper is the installed command that the client finds, first on PATH.
class Consent : public testing::Test {
 protected:
  Consent() { setenv("PATH", (kBuildDirectory + ":" + getenv("PATH")).c_str(), 1); }
  test::SandboxRoot mRoot;
  test::SystemctlOnPath mStandIns;
};

TEST_F(Consent, RootIsGrantedTheRightsWithoutPkexec) {
  mRoot.writeFile("pkexec-plays", "consent");
  std::unique_ptr<Authorization> authorization;
  ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, 19, &authorization), errAuthorizationSuccess);
  EXPECT_EQ(authorization->rootSide(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(mRoot.at("run/pkexec-calls")));
}

struct PkexecCase {
  const char* plays;  // null: no pkexec on PATH
  AuthorizationFlags flags;
  OSStatus status;
};

class PkexecOutcome : public Consent, public testing::WithParamInterface<PkexecCase> {};

TEST_P(PkexecOutcome, GivesItsStatus) {
  const PkexecCase& c = GetParam();
  mRoot.writeFile("pkexec-plays", c.plays ? c.plays : "");
  if (!c.plays)
    setenv("PATH", kBuildDirectory.c_str(), 1);
  if (!c.plays && findTool("pkexec"))
    GTEST_SKIP() << "this machine has a pkexec of its own";
  std::unique_ptr<ConsentChannel> channel;
  EXPECT_EQ(ConsentChannel::open(c.flags, &channel), c.status);
  EXPECT_EQ(channel != nullptr, c.status == errAuthorizationSuccess);
  EXPECT_EQ(mRoot.readFile("run/pkexec-calls"),
            c.plays ? fmt::format("{}{} consent-steps\n",
                                  c.flags == 0 ? "--disable-internal-agent " : "", kZelhelper)
                    : "");
}

INSTANTIATE_TEST_SUITE_P(Plays, PkexecOutcome,
                         testing::Values(PkexecCase{"consent", 19, errAuthorizationSuccess},
                                         PkexecCase{"dismissed", 19, errAuthorizationCanceled},
                                         PkexecCase{"refused", 19, errAuthorizationDenied},
                                         PkexecCase{"no-agent", 0,
                                                    errAuthorizationInteractionNotAllowed},
                                         PkexecCase{nullptr, 19, errAuthorizationInternal}),
                         [](const auto& info) { return std::to_string(-info.param.status); });

TEST_F(Consent, RootSideRunsAloneAndAsRootOnly) {
  EXPECT_EQ(test::runCommand({kZelhelper, "consent-steps"}).out, "ready\n");
  for (const char* extra : {"extra", "--"})
    EXPECT_EQ(test::runCommand({kZelhelper, "consent-steps", extra}).status, 2) << extra;
  EXPECT_EQ(test::runCommand({kZelhelper, "consent-steps"}, test::kAlice).status, 4);
}

class RootSideStep : public Consent,
                     public testing::WithParamInterface<std::pair<std::string, const char*>> {};

// A step's answer, and the root side goes on; anything else ends it.
TEST_P(RootSideStep, AnswersOnlyItsSteps) {
  const auto& [line, answer] = GetParam();
  mRoot.writeFile("pkexec-plays", "consent");
  std::unique_ptr<ConsentChannel> channel;
  ASSERT_EQ(ConsentChannel::open(19, &channel), errAuthorizationSuccess);
  EXPECT_THAT(channel->perform(line), testing::HasSubstr(answer));
  EXPECT_EQ(channel->perform("remove").starts_with("no job labelled"), line == "remove");
}

INSTANTIATE_TEST_SUITE_P(Lines, RootSideStep,
                         testing::Values(std::pair{"remove", "no job labelled"},
                                         std::pair{"bless /tmp/zel-evil", "no such step"},
                                         std::pair{"ready", "no such step"},
                                         std::pair{std::string(5000, 'x'), "gave no answer"}));

}  // namespace
}  // namespace zel
