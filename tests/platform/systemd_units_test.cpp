// SPDX-License-Identifier: MIT
// The units that blessing writes are valid for systemd, and the service unit of a real
// installation keeps the service's exposure low.
#include "platform/systemd_units.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "resources/labels.h"
#include "tests/support/daemon_harness.h"

namespace zel {
namespace {

// The manual page the units name is the package's, checked by the package test.
TEST(GeneratedUnits, PassSystemdVerification) {
  test::SandboxRoot root;
  HelperJobFiles files = helperJobFiles(kHelperLabel);
  std::filesystem::create_directories(std::filesystem::path(files.executable).parent_path());
  std::filesystem::create_symlink(test::zelhelperExecutable(), files.executable);
  root.writeFile("etc/systemd/system/" + files.socketUnitName,
                 socketUnitText(kHelperLabel, kMachServiceName, root.at("run/helper.mach")));
  root.writeFile("etc/systemd/system/" + files.serviceUnitName,
                 serviceUnitText(kHelperLabel, files));
  test::CommandResult verify = test::runCommand(
      {"systemd-analyze", "verify", "--man=no", files.socketUnit, files.serviceUnit});
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(verify.out + verify.err, "");
}

// As rendered for the machine's own root, without a sandbox's additions.
TEST(GeneratedUnits, ExposeTheServiceAtMostTwoAndAHalf) {
  const std::string unit = fmt::format("/tmp/zel-units-{}/{}.service", getpid(), kHelperLabel);
  std::filesystem::create_directories(std::filesystem::path(unit).parent_path());
  std::ofstream(unit) << serviceUnitText(kHelperLabel, helperJobFiles(kHelperLabel));
  test::CommandResult security =
      test::runCommand({"systemd-analyze", "security", "--offline=true", "--no-pager", unit});
  std::filesystem::remove_all(std::filesystem::path(unit).parent_path());
  // "→ Overall exposure level for <unit>: 1.9 OK"
  size_t colon = security.out.find(": ", security.out.find("Overall exposure level for "));
  ASSERT_NE(colon, std::string::npos) << security.out << security.err;
  EXPECT_LE(std::stod(security.out.substr(colon + 2)), 2.5) << security.out;
}

}  // namespace
}  // namespace zel
