// SPDX-License-Identifier: MIT
// zelhelper install, remove and status as a user runs them, with the stand-in systemctl: here
// the executable blessed is zelhelper itself.
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

using testing::HasSubstr;

class InstallCommands : public test::InstalledHelperTest {
 protected:
  test::CommandResult zelhelper(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), test::zelhelperExecutable());
    return test::runCommand(arguments);
  }
};

// install, remove and status for each owner of the units: the Debian package (units in
// usr/lib/systemd/system), the install command, or nobody. A package's units and executable are
// the package's: the command only enables and disables its socket.
enum class Before { kPackage, kMaskedPackage, kCommand, kNothing };

struct OwnershipCase {
  const char* name;
  Before before;
  const char* command;
  int exitStatus;
  const char* changesAsked;  // of systemctl, "; "-joined, without the label
  bool commandFilesAfter;    // the units in etc/systemd/system and the executable in libexec
  HelperOwner ownerAfter;
  const char* unitFileStateAfter;  // "" for none
  const char* activeStateAfter;
  bool answersAfter;
};

class UnitOwnership : public InstallCommands, public testing::WithParamInterface<OwnershipCase> {
 protected:
  std::string changesAsked() const {
    std::string changes;
    std::ifstream calls(mRoot.at("run/systemctl/calls"));
    for (std::string line; std::getline(calls, line);)
      changes += (changes.empty() ? "" : "; ") + line;
    for (size_t at; (at = changes.find(kHelperLabel)) != std::string::npos;)
      changes.erase(at, std::string_view(kHelperLabel).size());
    return changes;
  }
};

TEST_P(UnitOwnership, ActsOnlyOnWhatItsOwnerAllows) {
  const OwnershipCase& c = GetParam();
  std::string packageSocket = mRoot.at("usr/lib/systemd/system/" + mFiles.socketUnitName);
  switch (c.before) {
    case Before::kPackage:
      installFakeHelper(3, "usr/lib/systemd/system");
      break;
    case Before::kMaskedPackage:
      installFakeHelper(3, "usr/lib/systemd/system");
      ASSERT_EQ(
          std::system(fmt::format("systemctl disable --now {}", mFiles.socketUnitName).c_str()), 0);
      std::filesystem::create_symlink("/dev/null", mFiles.socketUnit);
      break;
    case Before::kCommand:
      ASSERT_EQ(zelhelper({"install"}).status, 0);
      break;
    case Before::kNothing:
      break;
  }
  std::filesystem::remove(mRoot.at("run/systemctl/calls"));

  test::CommandResult result = zelhelper({c.command});
  EXPECT_EQ(result.status, c.exitStatus) << result.err;
  EXPECT_EQ(changesAsked(), c.changesAsked);
  for (const std::string& file : {mFiles.socketUnit, mFiles.serviceUnit, mFiles.executable})
    EXPECT_EQ(std::filesystem::is_regular_file(file), c.commandFilesAfter) << file;
  EXPECT_EQ(std::filesystem::exists(packageSocket),
            c.before == Before::kPackage || c.before == Before::kMaskedPackage);

  EXPECT_THAT(zelhelper({"status"}).out,
              HasSubstr(fmt::format("owner:     {} (", helperOwnerName(c.ownerAfter))));
  test::CommandResult json = zelhelper({"status", "--json"});
  EXPECT_EQ(json.status, c.answersAfter ? 0 : 3);
  auto quoted = [](const char* word) {
    return *word == '\0' ? std::string("null") : fmt::format("\"{}\"", word);
  };
  EXPECT_EQ(json.out,
            fmt::format("{{\"active_state\":{},\"answers\":{},\"label\":\"net.zel.client-Helper\","
                        "\"owner\":\"{}\",\"socket\":\"{}\",\"unit_file_state\":{},"
                        "\"version\":{}}}\n",
                        quoted(c.activeStateAfter), c.answersAfter, helperOwnerName(c.ownerAfter),
                        helperSocketPath(kMachServiceName), quoted(c.unitFileStateAfter),
                        c.answersAfter ? "3" : "null"));
}

INSTANTIATE_TEST_SUITE_P(
    OwnersAndCommands, UnitOwnership,
    testing::Values(
        OwnershipCase{"PackageInstall", Before::kPackage, "install", 0,
                      "disable --now .socket .service; enable --now .socket; enable --now .socket",
                      false, HelperOwner::kPackage, "enabled", "active", true},
        OwnershipCase{"PackageRemove", Before::kPackage, "remove", 0,
                      "disable --now .socket .service", false, HelperOwner::kPackage, "disabled",
                      "inactive", false},
        // The mask stays: the installation fails, saying so.
        OwnershipCase{"MaskedPackageInstall", Before::kMaskedPackage, "install", 3,
                      "disable --now .socket .service", false, HelperOwner::kPackage, "masked",
                      "inactive", false},
        OwnershipCase{"CommandInstall", Before::kCommand, "install", 0,
                      "disable --now .socket .service; daemon-reload; daemon-reload; enable --now "
                      ".socket; daemon-reload; enable --now .socket",
                      true, HelperOwner::kCommand, "enabled", "active", true},
        OwnershipCase{"CommandRemove", Before::kCommand, "remove", 0,
                      "disable --now .socket .service; daemon-reload", false, HelperOwner::kNone,
                      "", "inactive", false},
        OwnershipCase{"NothingInstall", Before::kNothing, "install", 0,
                      "daemon-reload; enable --now .socket; daemon-reload; enable --now .socket",
                      true, HelperOwner::kCommand, "enabled", "active", true},
        OwnershipCase{"NothingRemove", Before::kNothing, "remove", 1, "", false, HelperOwner::kNone,
                      "", "inactive", false},
        OwnershipCase{"NothingStatus", Before::kNothing, "status", 3, "", false, HelperOwner::kNone,
                      "", "inactive", false}),
    [](const testing::TestParamInfo<OwnershipCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zel
