// SPDX-License-Identifier: MIT
// The built zelhelper run as a subprocess: convert and units, each kind of input and output,
// and the errors, with a temporary XDG_CONFIG_HOME and a fixed TZ.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "conversion_test_support.h"
#include "resources/labels.h"

namespace zel::test {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::stringstream contents;
  contents << std::ifstream(path).rdbuf();
  return contents.str();
}

// Runs zelhelper with `args`; the environment is this process's.
Outcome zelhelper(const std::vector<std::string>& args, const std::string& scratch) {
  const std::string out = scratch + "/out", err = scratch + "/err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(outFd, 1);
    dup2(errFd, 2);
    std::vector<char*> argv{const_cast<char*>(ZELHELPER_PATH)};
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

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
  Outcome run(const std::vector<std::string>& args) { return zelhelper(args, mHome.path()); }

  TemporaryConfigHome mHome;
  ScopedEnv mZone{"TZ", "UTC"};
};
using CommandLine = CommandLineWith<Case>;

TEST_P(CommandLine, PrintsTheResultOrARefusal) {
  const Case& c = GetParam();
  const Outcome result = run(c.args);
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
        {{"convert", "Temperature", "2150"}, 0, "70.7\n", ""},
        {{"convert", "Temperature", "--", "-500"}, 0, "23\n", ""},
        {{"convert", "HundredDivider", "--reverse", "21.5"}, 0, "2150\n", ""},
        {{"convert", "Flow", "--reverse", "35.31466672148859"}, 0, "1\n", ""},
        {{"convert", "TicksTime", "--reverse", "--string", "45"}, 0, "4500\n", ""},
        {{"convert", "TemperatureString", "--string", "2150"}, 0, "70.7 °F\n", ""},
        {{"convert", "IPAddr", "--reverse", "192.168.1.1"}, 0, "-1062731519\n", ""},
        {{"convert", "TicksMinutes", "--nil"}, 0, "nil\n", ""},
        {{"convert", "TicksStringSeconds", "--nil"}, 0, "0.00\n", ""},
        {{"convert", "DateToDaySeconds", "--reverse", "--date", "2026-03-29T13:45:30"},
         0,
         "49530\n",
         ""},
        {{"convert", "DateToDaySeconds", "--reverse", "--date", "2026-03-29T13:45:30.5+02:00"},
         0,
         "42330\n",
         ""},
        {{"convert", "HundredDivider", "--date", "2026-03-29T13:45:30Z"},
         2,
         "",
         "Value (NSDate) does not respond to -floatValue."},
        {{"convert", "TicksTime", "--reverse", "45"},
         2,
         "",
         "Value (NSNumber) does not respond to -componentsSeparatedByString."},
        {{"convert", "Kelvin", "1"}, 2, "", std::string("the names are:\n") + kNames},
        {{"convert", "TemperatureString", "--reverse", "1"}, 2, "", "forward only"},
        {{"convert", "DateToDaySeconds", "--date", "yesterday"}, 2, "", "not an ISO 8601 date"},
        {{"convert", "Temperature", "--number", "12abc"}, 2, "", "not a decimal number"},
        {{"convert", "Temperature", "--nil", "1"}, 2, "", "--nil takes no VALUE"},
        {{"convert", "Temperature"}, 2, "", "needs a VALUE"},
        {{"convert", "Temperature", "1", "--number", "--string"}, 2, "", "excludes"},
        {{"convert", "--list", "Temperature"}, 2, "", "--list takes no NAME"},
        {{"convert", "--bogus"}, 2, "", "--bogus"},
    }));

INSTANTIATE_TEST_SUITE_P(Units, CommandLine,
                         testing::ValuesIn(std::vector<Case>{
                             {{"units"}, 0, "celsius: no\nmetric: no\n", ""},
                             {{"units", "--celsius", "yes"}, 0, "celsius: yes\nmetric: no\n", ""},
                             {{"units", "--celsius", "maybe"}, 2, "", "maybe"},
                         }));

TEST_F(CommandLine, StoredUnitsSteerLaterConversions) {
  EXPECT_EQ(run({"units", "--celsius", "yes", "--metric", "yes"}).out,
            "celsius: yes\nmetric: yes\n");
  EXPECT_EQ(run({"convert", "Temperature", "2150"}).out, "21.5\n");
  EXPECT_EQ(run({"convert", "Flow", "2.5"}).out, "2.5\n");
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
  const Outcome result = run({"units", "--celsius", "yes"});
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
  for (const char* zone : {"UTC", "Asia/Kolkata"}) {
    ScopedEnv tz("TZ", zone);
    std::vector<std::string> days;
    for (int i = 0; i < 2; ++i) {  // today before and after the run: midnight may pass
      const time_t now = time(nullptr);
      tm local{};
      localtime_r(&now, &local);
      char day[16];
      strftime(day, sizeof day, "%Y-%m-%d", &local);
      days.push_back(day);
      if (i == 0) {
        const Outcome result = run({"convert", "DateToDaySeconds", "3661"});
        days.push_back(result.out);
      }
    }
    const std::string offset = std::string(zone) == "UTC" ? "+00:00" : "+05:30";
    EXPECT_TRUE(days[1] == fmt::format("{}T01:01:01{}\n", days[0], offset) ||
                days[1] == fmt::format("{}T01:01:01{}\n", days[2], offset))
        << days[1];
  }
}

}  // namespace
}  // namespace zel::test
