// SPDX-License-Identifier: MIT
// The units that blessing writes are valid for systemd.
#include "platform/systemd_units.h"

#include <filesystem>
#include <string>

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

}  // namespace
}  // namespace zel
