// SPDX-License-Identifier: MIT
// Which program runs for a tool's name, and with what environment: outside a sandbox root the
// system's own with a fixed environment, whatever PATH says; in a sandbox root, a stand-in first
// on PATH. And all of a long output.
#include "platform/command.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/sandbox_root.h"

namespace zel {
namespace {

TEST(RunCommand, RunsAStandInFirstOnPathOnlyInASandboxRoot) {
  ASSERT_EQ(getenv("ZELHELPER_ROOT"), nullptr);
  char directory[] = "/tmp/zel-tools-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  std::ofstream(std::string(directory) + "/env") << "#!/bin/sh\necho stand-in env\n";
  std::filesystem::permissions(std::string(directory) + "/env", std::filesystem::perms::owner_all);
  const std::string path = getenv("PATH");
  setenv("PATH", (directory + (":" + path)).c_str(), 1);

  EXPECT_EQ(runCommand({"env"}).output, "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nLC_ALL=C");
  std::optional<test::SandboxRoot> root(std::in_place);
  EXPECT_EQ(runCommand({"env"}).output, "stand-in env");

  root.reset();
  setenv("PATH", path.c_str(), 1);
  std::filesystem::remove_all(directory);
}

// Far more than a pipe holds or one read takes.
TEST(RunCommand, CollectsAllOfALongOutput) {
  const std::string output = runCommand({"seq", "100000"}).output;
  EXPECT_EQ(output.size(), 588894u);
  EXPECT_TRUE(output.ends_with("\n99999\n100000"));
}

}  // namespace
}  // namespace zel
