// SPDX-License-Identifier: MIT
// Reading a named section out of an ELF file: the property lists of the built executable, and
// damaged copies of it.
#include <elf.h>

#include <cstring>
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

struct Damage {
  const char* name;
  void (*apply)(std::string& image, Elf64_Ehdr& header);
  const char* problem;
  friend void PrintTo(const Damage& value, std::ostream* out) { *out << value.name; }
};

class DamagedElf : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedElf, IsAnErrorNeverACrash) {
  std::string image = contentsOf(zelhelperExecutable());
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  GetParam().apply(image, header);
  if (image.size() >= sizeof header)
    std::memcpy(image.data(), &header, sizeof header);
  std::string problem;
  EXPECT_FALSE(elfSection(image, "__launchd_plist", &problem));
  EXPECT_NE(problem.find(GetParam().problem), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Images, DamagedElf,
    ::testing::Values(
        Damage{"NotElf", [](std::string& image, Elf64_Ehdr&) { image = "#!/bin/sh\n"; },
               "not a little-endian ELF"},
        Damage{"HeaderOnly", [](std::string& image, Elf64_Ehdr&) { image.resize(EI_NIDENT + 4); },
               "damaged ELF header"},
        Damage{"SectionTableCutOff",
               [](std::string& image, Elf64_Ehdr& header) { image.resize(header.e_shoff + 10); },
               "no section table"},
        Damage{"SectionTableFarAway",
               [](std::string&, Elf64_Ehdr& header) { header.e_shoff = UINT64_MAX - 8; },
               "no section table"},
        Damage{"NameTableIndexOutOfRange",
               [](std::string&, Elf64_Ehdr& header) { header.e_shstrndx = header.e_shnum + 5; },
               "damaged section name table"},
        Damage{"SectionContentsOutsideFile",
               [](std::string& image, Elf64_Ehdr& header) {
                 for (int i = 0; i < header.e_shnum; ++i) {
                   Elf64_Shdr section;
                   const auto at = header.e_shoff + i * sizeof section;
                   std::memcpy(&section, image.data() + at, sizeof section);
                   section.sh_size = i == header.e_shstrndx ? section.sh_size : UINT64_MAX / 2;
                   std::memcpy(image.data() + at, &section, sizeof section);
                 }
               },
               "outside the file"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel::test
