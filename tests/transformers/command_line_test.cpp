// SPDX-License-Identifier: MIT
// The built zelhelper's convert and units commands end to end: each kind of input and output
// once, and each refusal, with a temporary XDG_CONFIG_HOME and a fixed TZ. (What each
// transformer computes is the conversions table's.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <ctime>
#include <filesystem>

#include <fmt/format.h>

#include "conversion_test_support.h"
#include "resources/labels.h"
#include "tests/support/daemon_harness.h"

namespace zel::test {
namespace {

struct Case {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string errPart;  // a part of what standard error must hold
};

void PrintTo(const Case& c, std::ostream* out) {
  for (const std::string& arg : c.args)
    *out << arg << ' ';
}

template <typename Param>
class CommandLineWith : public testing::TestWithParam<Param> {
 protected:
  CommandResult run(std::vector<std::string> args) {
    args.insert(args.begin(), zelhelperExecutable());
    return runCommand(args);
  }

  TemporaryConfigHome mHome;
  ScopedEnv mZone{"TZ", "UTC"};
};
using CommandLine = CommandLineWith<Case>;

TEST_P(CommandLine, PrintsTheResultOrARefusal) {
  const Case& c = GetParam();
  const CommandResult result = run(c.args);
  EXPECT_EQ(result.status, c.status) << result.err;
  EXPECT_EQ(result.out, c.out);
  EXPECT_NE(result.err.find(c.errPart), std::string::npos) << result.err;
  if (c.status == 0) {
    EXPECT_EQ(result.err, "");
  }
}

const char* const kNames =
    "TicksStringSeconds\nTicksStringMinutes\nTicksMinutes\nTicksTime\nSecondsTime\n"
    "HHMMToSeconds\nHundredDivider\nDateToDaySeconds\nTemperature\nTemperatureDelta\n"
    "TemperatureString\nFloatTemperatureString\nInsteonAddr\nKNXAddr\nIPAddr\nType\nFlow\n";

INSTANTIATE_TEST_SUITE_P(
    Convert, CommandLine,
    testing::ValuesIn(std::vector<Case>{
        {{"convert", "--list"}, 0, kNames, ""},
        {{"convert", "Temperature", "--", "-500"}, 0, "23\n", ""},
        {{"convert", "Flow", "--reverse", "35.31466672148859"}, 0, "1\n", ""},
        {{"convert", "TicksTime", "--reverse", "--string", "45"}, 0, "4500\n", ""},
        {{"convert", "TemperatureString", "--string", "2150"}, 0, "70.7 °F\n", ""},
        {{"convert", "TicksMinutes", "--nil"}, 0, "nil\n", ""},
        {{"convert", "DateToDaySeconds", "--reverse", "--date", "2026-03-29T13:45:30.5+02:00"},
         0,
         "42330\n",
         ""},
        {{"convert", "TicksTime", "--reverse", "45"}, 2, "", "does not respond to"},
        {{"convert", "Kelvin", "1"}, 2, "", std::string("the names are:\n") + kNames},
        {{"convert", "TemperatureString", "--reverse", "1"}, 2, "", "forward only"},
        {{"convert", "DateToDaySeconds", "--date", "yesterday"}, 2, "", "not an ISO 8601 date"},
        {{"convert", "Temperature", "--number", "12abc"}, 2, "", "not a decimal number"},
        {{"convert", "Temperature", "--nil", "1"}, 2, "", "--nil takes no VALUE"},
        {{"convert", "Temperature"}, 2, "", "needs a VALUE"},
        {{"convert", "Temperature", "1", "--number", "--string"}, 2, "", "excludes"},
        {{"convert", "--list", "Temperature"}, 2, "", "--list takes no NAME"},
    }));

TEST_F(CommandLine, StoredUnitsSteerLaterConversions) {
  EXPECT_EQ(run({"units"}).out, "celsius: no\nmetric: no\n");
  EXPECT_EQ(run({"units", "--celsius", "yes", "--metric", "yes"}).out,
            "celsius: yes\nmetric: yes\n");
  EXPECT_EQ(run({"convert", "Temperature", "2150"}).out, "21.5\n");
  EXPECT_EQ(run({"units", "--metric", "no"}).out, "celsius: yes\nmetric: no\n");
  EXPECT_EQ(run({"convert", "Flow", "1"}).out, "35.314667\n");
}

std::string clientDirectoryIn(const std::string& configHome) {
  return configHome + "/" + std::string(kClientIdentifier);
}

// What stands in the way of storing a preference, made in the config home (run as root).
struct Obstacle {
  const char* name;
  void (*make)(const std::string& configHome);
};

class UnitsNotStored : public CommandLineWith<Obstacle> {};

TEST_P(UnitsNotStored, FailsAndLeavesEverythingAsItWas) {
  GetParam().make(mHome.path());
  const CommandResult result = run({"units", "--celsius", "yes"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("not stored"), std::string::npos) << result.err;
  EXPECT_TRUE(std::filesystem::is_empty(clientDirectoryIn(mHome.path())));
}

INSTANTIATE_TEST_SUITE_P(
    Obstacles, UnitsNotStored,
    testing::Values(
        // A user who can set root's XDG_CONFIG_HOME to her own directory plants a link there.
        Obstacle{"LinkToAnotherDirectory",
                 [](const std::string& home) {
                   std::filesystem::create_directory(home + "/elsewhere");
                   std::filesystem::create_directory_symlink(home + "/elsewhere",
                                                             clientDirectoryIn(home));
                   ASSERT_EQ(lchown(clientDirectoryIn(home).c_str(), 4242, 4242), 0);
                 }},
        Obstacle{"DirectoryOfAnotherUser",
                 [](const std::string& home) {
                   std::filesystem::create_directory(clientDirectoryIn(home));
                   ASSERT_EQ(chown(clientDirectoryIn(home).c_str(), 4242, 4242), 0);
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

// The date printed for a seconds count is today at that local time, with the zone's offset.
TEST_F(CommandLine, PrintsDatesInLocalTimeWithTheOffset) {
  ScopedEnv tz("TZ", "Asia/Kolkata");
  auto today = [] {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return fmt::format("{:04}-{:02}-{:02}", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  };
  const std::string before = today();  // midnight may pass during the run
  const std::string shown = run({"convert", "DateToDaySeconds", "3661"}).out;
  EXPECT_TRUE(shown == before + "T01:01:01+05:30\n" || shown == today() + "T01:01:01+05:30\n")
      << shown;
}

}  // namespace
}  // namespace zel::test
