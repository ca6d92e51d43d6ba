// SPDX-License-Identifier: MIT
// Reading a named section out of an ELF file: the property lists of the built executable (that a
// damaged file is an error and never a crash, the bounded fuzz run of the reader shows).
#include <fstream>
#include <iterator>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/elf_section.h"
#include "platform/launchd_plist.h"
#include "resources/labels.h"
#include "tests/support/daemon_harness.h"

namespace zel::test {
namespace {

std::string contentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The sections hold the property lists generated at build time, byte for byte, and they name
// what blessing relies on: the job's label and service, the bundle and its one client.
TEST(ElfSection, ReadsThePropertyListsTheBuildEmbedded) {
  for (const char* name : {"info", "launchd"}) {
    std::string problem;
    const auto contents =
        readElfSection(zelhelperExecutable(), fmt::format("__{}_plist", name), &problem);
    ASSERT_TRUE(contents) << problem;
    EXPECT_EQ(*contents, contentsOf(fmt::format("{}/{}.plist", ZEL_TEST_RESOURCES, name)));
  }
  const auto job = launchdJobOfExecutable(zelhelperExecutable());
  ASSERT_TRUE(job);
  EXPECT_EQ(job->label, kHelperLabel);
  EXPECT_EQ(job->machServiceName, kMachServiceName);
  std::string problem;
  const std::string info = readElfSection(zelhelperExecutable(), "__info_plist", &problem).value();
  EXPECT_NE(
      info.find(fmt::format("<key>CFBundleIdentifier</key>\n\t<string>{}</string>", kHelperLabel)),
      std::string::npos);
  EXPECT_NE(info.find(fmt::format("identifier \"{}\" and certificate leaf[subject.O] = \"{}\"",
                                  kClientIdentifier, kSigningOrganisation)),
            std::string::npos);
  EXPECT_FALSE(readElfSection(zelhelperExecutable(), "__no_such_section", &problem));
  EXPECT_EQ(problem, "no section __no_such_section");
  EXPECT_FALSE(readElfSection("/nonexistent/zelhelper", "__info_plist", &problem));
  EXPECT_NE(problem.find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace zel::test
