// SPDX-License-Identifier: MIT
// zelhelper install, remove and status as a user runs them, with the stand-in systemctl: here
// the executable blessed is zelhelper itself.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/helper_connection.h"
#include "platform/service_management.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/installed_helper.h"

namespace zel {
namespace {

// install, remove and status for each owner of the units: the Debian package (units in
// usr/lib/systemd/system), the install command, or nobody. A package's units and executable are
// the package's: the command only enables and disables its socket.
enum class Before { kPackaged, kMasked, kInstalled, kNothing };
using enum Before;
using enum HelperOwner;

struct OwnershipCase {
  const char* name;
  Before before;
  const char* command;
  int exitStatus;
  const char* changesAsked;  // of systemctl, one a line, without the label
  // The command owns the units in etc/systemd/system and the executable in libexec, which no
  // other owner leaves behind; only an active socket answers.
  HelperOwner ownerAfter;
  const char* unitFileStateAfter;  // "" for none
  const char* activeStateAfter;
};

class UnitOwnership : public test::InstalledHelperTest,
                      public testing::WithParamInterface<OwnershipCase> {
 protected:
  static test::CommandResult zelhelper(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), test::zelhelperExecutable());
    return test::runCommand(arguments);
  }
  std::string changesAsked() const {
    std::string changes = mRoot.readFile("run/systemctl/calls");
    for (size_t at; (at = changes.find(kHelperLabel)) != std::string::npos;)
      changes.erase(at, std::string(kHelperLabel).size());
    return changes;
  }
};

TEST_P(UnitOwnership, ActsOnlyOnWhatItsOwnerAllows) {
  const OwnershipCase& c = GetParam();
  const bool answers = std::string_view(c.activeStateAfter) == "active";
  const bool package = c.before == kPackaged || c.before == kMasked;
  if (package)
    installFakeHelper(3, "usr/lib/systemd/system");
  if (c.before == kMasked) {
    ASSERT_EQ(std::system(fmt::format("systemctl disable --now {}", mFiles.socketUnitName).c_str()),
              0);
    std::filesystem::create_symlink("/dev/null", mFiles.socketUnit);
  }
  if (c.before == kInstalled) {
    ASSERT_EQ(zelhelper({"install"}).status, 0);
  }
  std::filesystem::remove(mRoot.at("run/systemctl/calls"));

  test::CommandResult result = zelhelper({c.command});
  EXPECT_EQ(result.status, c.exitStatus) << result.err;
  EXPECT_EQ(changesAsked(), c.changesAsked);
  for (const std::string& file : {mFiles.socketUnit, mFiles.serviceUnit, mFiles.executable})
    EXPECT_EQ(std::filesystem::is_regular_file(file), c.ownerAfter == kCommand) << file;
  EXPECT_EQ(std::filesystem::exists(mRoot.at("usr/lib/systemd/system/" + mFiles.socketUnitName)),
            package);

  EXPECT_THAT(zelhelper({"status"}).out,
              testing::HasSubstr(fmt::format("owner:     {} (", helperOwnerName(c.ownerAfter))));
  test::CommandResult json = zelhelper({"status", "--json"});
  EXPECT_EQ(json.status, answers ? 0 : 3);
  auto quoted = [](const char* word) {
    return *word == '\0' ? std::string("null") : fmt::format("\"{}\"", word);
  };
  EXPECT_EQ(json.out,
            fmt::format("{{\"active_state\":{},\"answers\":{},\"label\":\"net.zel.client-Helper\","
                        "\"owner\":\"{}\",\"socket\":\"{}\",\"unit_file_state\":{},"
                        "\"version\":{}}}\n",
                        quoted(c.activeStateAfter), answers, helperOwnerName(c.ownerAfter),
                        helperSocketPath(kMachServiceName), quoted(c.unitFileStateAfter),
                        answers ? "3" : "null"));
}

INSTANTIATE_TEST_SUITE_P(
    OwnersAndCommands, UnitOwnership,
    testing::ValuesIn(std::vector<OwnershipCase>{
        {"PackageInstall", kPackaged, "install", 0,
         "disable --now .socket .service\nenable --now .socket\nenable --now .socket\n", kPackage,
         "enabled", "active"},
        {"PackageRemove", kPackaged, "remove", 0, "disable --now .socket .service\n", kPackage,
         "disabled", "inactive"},
        // The mask stays: the installation fails, saying so.
        {"MaskedPackageInstall", kMasked, "install", 3, "disable --now .socket .service\n",
         kPackage, "masked", "inactive"},
        {"CommandInstall", kInstalled, "install", 0,
         "disable --now .socket .service\ndaemon-reload\ndaemon-reload\n"
         "enable --now .socket\ndaemon-reload\nenable --now .socket\n",
         kCommand, "enabled", "active"},
        {"CommandRemove", kInstalled, "remove", 0,
         "disable --now .socket .service\ndaemon-reload\n", kNone, "", "inactive"},
        {"NothingInstall", kNothing, "install", 0,
         "daemon-reload\nenable --now .socket\ndaemon-reload\nenable --now .socket\n", kCommand,
         "enabled", "active"},
        {"NothingRemove", kNothing, "remove", 1, "", kNone, "", "inactive"},
        {"NothingStatus", kNothing, "status", 3, "", kNone, "", "inactive"}}),
    [](const testing::TestParamInfo<OwnershipCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zel
