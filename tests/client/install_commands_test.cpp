// zelhelper install, remove and status as a user runs them, with the stand-in systemctl: here
// the executable blessed is zelhelper itself.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/helper_connection.h"
#include "platform/service_management.h"
#include "tests/client/installed_helper.h"
#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

using testing::HasSubstr;
using testing::StartsWith;

class InstallCommands : public test::InstalledHelperTest {
 protected:
  test::CommandResult zelhelper(std::vector<std::string> arguments,
                                std::optional<test::SandboxUser> user = std::nullopt) {
    arguments.insert(arguments.begin(), test::zelhelperExecutable());
    return test::runCommand(arguments, user);
  }
};

TEST_F(InstallCommands, InstallServeRemove) {
  test::CommandResult install = zelhelper({"install"});
  EXPECT_EQ(install.status, 0) << install.err;
  EXPECT_THAT(install.out, StartsWith("installed net.zel.client-Helper"));

  test::CommandResult status = zelhelper({"status"}, test::kAlice);
  EXPECT_EQ(status.status, 0);
  EXPECT_THAT(status.out, HasSubstr("helper:    answers, version 3"));

  std::string shared = mRoot.scratch() + "/shared/projects";
  test::CommandResult createDir =
      zelhelper({"create-dir", shared, "--group", "zelusers"}, test::kAlice);
  EXPECT_EQ(createDir.status, 0) << createDir.err;
  struct stat created;
  ASSERT_EQ(stat(shared.c_str(), &created), 0);
  EXPECT_EQ(created.st_mode & 07777, 02770u);  // even under the service's UMask=0077

  test::CommandResult remove = zelhelper({"remove"});
  EXPECT_EQ(remove.status, 0) << remove.err;
  EXPECT_EQ(remove.out, "removed net.zel.client-Helper\n");

  status = zelhelper({"status"});
  EXPECT_EQ(status.status, 3);
  EXPECT_THAT(status.out, HasSubstr("installed: no"));
  EXPECT_THAT(status.out, HasSubstr("helper:    does not answer"));

  remove = zelhelper({"remove"});
  EXPECT_EQ(remove.status, 1);
  EXPECT_THAT(remove.err, HasSubstr("no job labelled net.zel.client-Helper is installed"));
}

TEST_F(InstallCommands, AnOrdinaryUserIsToldToUseSudo) {
  for (const char* command : {"install", "remove"}) {
    test::CommandResult result = zelhelper({command}, test::kAlice);
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.err,
              fmt::format("zelhelper: {0} needs root; run 'sudo zelhelper {0}'\n", command));
  }
}

// Only `install` installs: the helper commands, run as root, report a missing or outdated
// helper and leave the job as it was.
class HelperCommandsAsRoot : public InstallCommands,
                             public testing::WithParamInterface<uint32_t> {};

TEST_P(HelperCommandsAsRoot, ReportAHelperThatIsNotCurrentAndInstallNothing) {
  const uint32_t installedVersion = GetParam();
  if (installedVersion != 0)
    installFakeHelper(installedVersion);
  const std::string serviceUnit = mRoot.readFile("etc/systemd/system/" + mFiles.serviceUnitName);
  test::CommandResult result = zelhelper({"create-dir", mRoot.scratch() + "/x", "--group", "g"});
  EXPECT_EQ(result.status, 3);
  EXPECT_THAT(result.err, HasSubstr(helperSocketPath(kMachServiceName)));
  EXPECT_THAT(result.err, HasSubstr("sudo zelhelper install"));
  EXPECT_EQ(SMJobInstalled(kHelperLabel), installedVersion != 0);
  EXPECT_EQ(mRoot.readFile("etc/systemd/system/" + mFiles.serviceUnitName), serviceUnit);
}

INSTANTIATE_TEST_SUITE_P(InstalledVersion, HelperCommandsAsRoot, testing::Values(0u, 2u),
                         [](const auto& info) {
                           return info.param == 0 ? std::string("None") : "Version2";
                         });

TEST_F(InstallCommands, InstallWithoutSystemdSaysSoInOneLine) {
  test::SystemctlOnPath offline(test::SystemctlOnPath::Kind::kSystemdNotRunning, mRoot.scratch());
  test::CommandResult install = zelhelper({"install"});
  EXPECT_EQ(install.status, 3);
  EXPECT_EQ(install.err,
            "zelhelper: systemd is not running on this machine (no /run/systemd/system), so the "
            "helper cannot be installed or removed\n");
  EXPECT_FALSE(std::filesystem::exists(mFiles.executable));
}

}  // namespace
}  // namespace zel
