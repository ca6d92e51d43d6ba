// SPDX-License-Identifier: MIT
// What blessing reads, writes and runs: the job in the executable's ELF section, the units (valid
// for systemd), the tool a name runs with its environment, and the ways blessing and removing
// fail, each with the description that says what failed and what is left on disk. (Successful
// blessing and removing run end to end in the helper installation tests.)
#include "platform/service_management.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

#include "platform/command.h"
#include "platform/elf_section.h"
#include "platform/launchd_plist.h"
#include "platform/systemd_units.h"
#include "resources/labels.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/installed_helper.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using test::zelhelperExecutable;
using ::testing::HasSubstr;

// The sections hold the property lists generated at build time, byte for byte, and the job names
// what blessing relies on. (That a damaged file is an error and never a crash, the bounded fuzz
// run of the reader shows.)
TEST(ElfSection, ReadsThePropertyListsTheBuildEmbedded) {
  std::string problem;
  for (const char* name : {"info", "launchd"}) {
    const auto contents =
        readElfSection(zelhelperExecutable(), fmt::format("__{}_plist", name), &problem);
    ASSERT_TRUE(contents) << problem;
    std::ifstream built(fmt::format("{}/{}.plist", ZEL_TEST_RESOURCES, name), std::ios::binary);
    EXPECT_EQ(*contents, std::string(std::istreambuf_iterator<char>(built), {}));
  }
  const auto job = launchdJobOfExecutable(zelhelperExecutable());
  ASSERT_TRUE(job);
  EXPECT_EQ(job->label, kHelperLabel);
  EXPECT_EQ(job->machServiceName, kMachServiceName);
  EXPECT_FALSE(readElfSection(zelhelperExecutable(), "__no_such_section", &problem));
  EXPECT_EQ(problem, "no section __no_such_section");
}

// The manual page the units name is the package's, checked by the package test.
TEST(GeneratedUnits, PassSystemdVerification) {
  test::SandboxRoot root;
  HelperJobFiles files = helperJobFiles(kHelperLabel);
  fs::create_directories(fs::path(files.executable).parent_path());
  fs::create_symlink(zelhelperExecutable(), files.executable);
  root.writeFile("etc/systemd/system/" + files.socketUnitName,
                 socketUnitText(kHelperLabel, kMachServiceName, root.at("run/helper.mach")));
  root.writeFile("etc/systemd/system/" + files.serviceUnitName,
                 serviceUnitText(kHelperLabel, files));
  test::CommandResult verify = test::runCommand(
      {"systemd-analyze", "verify", "--man=no", files.socketUnit, files.serviceUnit});
  EXPECT_EQ(verify.status, 0);
  EXPECT_EQ(verify.out + verify.err, "");
}

// Outside a sandbox root the system's own tool runs with a fixed environment, whatever PATH
// says; in one, a stand-in first on PATH.
TEST(RunCommand, RunsAStandInFirstOnPathOnlyInASandboxRoot) {
  test::SandboxRoot root;
  std::ofstream(root.at("env")) << "#!/bin/sh\necho stand-in env\n";
  fs::permissions(root.at("env"), fs::perms::owner_all);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (root.path() + ":" + path).c_str(), 1);
  EXPECT_EQ(runCommand({"env"}).output, "stand-in env");
  unsetenv("ZELHELPER_ROOT");
  EXPECT_EQ(runCommand({"env"}).output, "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nLC_ALL=C");
  setenv("PATH", path.c_str(), 1);
}

// Far more than a pipe holds or one read takes.
TEST(RunCommand, CollectsAllOfALongOutput) {
  const std::string output = runCommand({"seq", "100000"}).output;
  EXPECT_EQ(output.size(), 588894u);
  EXPECT_TRUE(output.ends_with("\n99999\n100000"));
}

// Each in a fresh sandbox root with the stand-in systemctl, which refuses to disable anything.
TEST(ServiceManagement, SaysWhatFailedAndLeavesTheFilesAsTheyWere) {
  const Authorization both({kSMRightBlessPrivilegedHelper, kSMRightModifySystemDaemons});
  const Authorization blessOnly({kSMRightBlessPrivilegedHelper});
  const Authorization modifyOnly({kSMRightModifySystemDaemons});
  constexpr std::string_view system = kSMDomainSystemLaunchd;
  struct Case {
    bool remove;  // else bless
    std::string_view domain;
    const Authorization* rights;
    bool unitsInstalled;
    // A key part of the description, with {root} for the sandbox root, {exe} for this executable.
    const char* descriptionPart;
  };
  setenv("SYSTEMCTL_FAIL", "disable", 1);
  for (const Case& c : std::vector<Case>{
           {false, system, nullptr, false, "not granted"},
           {false, system, &modifyOnly, false, "blesshelper was not granted"},
           {true, system, &blessOnly, true, "daemons.modify was not granted"},
           {false, "user", &both, false, "unknown service domain \"user\""},
           // This test executable carries no launchd property list, unlike zelhelper.
           {false, system, &both, false, "{exe} carries no launchd property list"},
           {true, system, &both, false,
            "(no net.zel.client-Helper.socket in {root}/etc/systemd/system)"},
           {true, system, &both, true,
            "disable --now net.zel.client-Helper.socket net.zel.client-Helper.service failed with "
            "exit status 1"}}) {
    test::SandboxRoot root;
    test::SystemctlOnPath systemctl;
    HelperJobFiles files = helperJobFiles(kHelperLabel);
    if (c.unitsInstalled) {
      root.writeFile("etc/systemd/system/" + files.socketUnitName, "[Socket]\n");
      root.writeFile("etc/systemd/system/" + files.serviceUnitName, "[Service]\n");
    }
    std::optional<ServiceError> error;
    EXPECT_FALSE(c.remove ? SMJobRemove(c.domain, kHelperLabel, c.rights, true, &error)
                          : SMJobBless(c.domain, kHelperLabel, c.rights, &error));
    EXPECT_THAT(
        error ? error->description() : "no error",
        HasSubstr(fmt::format(fmt::runtime(c.descriptionPart), fmt::arg("root", root.path()),
                              fmt::arg("exe", fs::canonical("/proc/self/exe").string()))));
    EXPECT_FALSE(fs::exists(files.executable));
    EXPECT_EQ(fs::exists(files.socketUnit), c.unitsInstalled) << c.descriptionPart;
    EXPECT_EQ(fs::exists(files.serviceUnit), c.unitsInstalled) << c.descriptionPart;
  }
  unsetenv("SYSTEMCTL_FAIL");
}

}  // namespace
}  // namespace zel
