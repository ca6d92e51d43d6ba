// Which program runs for a tool's name, and with what environment: outside a sandbox root the
// system's own with a fixed environment, whatever PATH and the environment say; in a sandbox
// root, a stand-in first on PATH.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/command.h"
#include "tests/support/sandbox_root.h"

namespace zel {
namespace {

struct ToolCase {
  const char* name;
  bool inSandboxRoot;
  const char* output;
};

class ToolLookup : public testing::TestWithParam<ToolCase> {
 protected:
  void SetUp() override {
    char directory[] = "/tmp/zel-tools-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    mDirectory = directory;
    const std::string standIn = mDirectory + "/env";
    std::ofstream(standIn) << "#!/bin/sh\necho stand-in env\n";
    std::filesystem::permissions(standIn, std::filesystem::perms::owner_all);
    mPath = getenv("PATH");
    setenv("PATH", (mDirectory + ":" + mPath).c_str(), 1);
    setenv("ZEL_FROM_THE_CALLER", "1", 1);
  }
  void TearDown() override {
    setenv("PATH", mPath.c_str(), 1);
    unsetenv("ZEL_FROM_THE_CALLER");
    std::filesystem::remove_all(mDirectory);
  }

  std::string mDirectory;
  std::string mPath;
};

TEST_P(ToolLookup, RunsTheSystemsOwnToolOutsideASandboxRoot) {
  ASSERT_EQ(getenv("ZELHELPER_ROOT"), nullptr);
  std::optional<test::SandboxRoot> root;
  if (GetParam().inSandboxRoot)
    root.emplace();
  const CommandResult result = runCommand({"env"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.output, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Roots, ToolLookup,
                         testing::Values(ToolCase{"System", false,
                                                  "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nLC_ALL=C"},
                                         ToolCase{"Sandbox", true, "stand-in env"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel
