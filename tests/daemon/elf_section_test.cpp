// SPDX-License-Identifier: MIT
// Reading a named section out of an ELF file: the built executable, and damaged copies of it.
#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/elf_section.h"
#include "tests/support/daemon_harness.h"

namespace zel::test {
namespace {

std::string executableImage() {
  std::ifstream in(zelhelperExecutable(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string objcopyDump(const std::string& section) {
  char directory[] = "/tmp/zel-elf-XXXXXX";
  EXPECT_NE(mkdtemp(directory), nullptr);
  const std::string out = std::string(directory) + "/section";
  const CommandResult result =
      runCommand({"objcopy", "--dump-section", section + "=" + out, zelhelperExecutable(),
                  std::string(directory) + "/scratch"});
  EXPECT_EQ(result.status, 0) << result.err;
  std::ifstream in(out, std::ios::binary);
  std::string contents{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  runCommand({"rm", "-rf", directory});
  return contents;
}

TEST(ElfSection, ReadsWhatObjcopyReads) {
  for (const char* section : {"__info_plist", "__launchd_plist"}) {
    std::string problem;
    const auto contents = readElfSection(zelhelperExecutable(), section, &problem);
    ASSERT_TRUE(contents) << problem;
    EXPECT_EQ(*contents, objcopyDump(section)) << section;
  }
}

struct Damage {
  const char* name;
  void (*apply)(std::string& image);
  const char* problem;
};

Elf64_Ehdr headerOf(const std::string& image) {
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  return header;
}

void storeHeader(std::string& image, const Elf64_Ehdr& header) {
  std::memcpy(image.data(), &header, sizeof header);
}

void PrintTo(const Damage& value, std::ostream* out) {
  *out << value.name;
}

class DamagedElf : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedElf, IsAnErrorNeverACrash) {
  std::string image = executableImage();
  GetParam().apply(image);
  std::string problem;
  EXPECT_FALSE(elfSection(image, "__launchd_plist", &problem));
  EXPECT_NE(problem.find(GetParam().problem), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Images, DamagedElf,
    ::testing::Values(
        Damage{"Empty", [](std::string& image) { image.clear(); }, "not a little-endian ELF"},
        Damage{"NotElf", [](std::string& image) { image = "#!/bin/sh\necho hello\n"; },
               "not a little-endian ELF"},
        Damage{"HeaderOnly", [](std::string& image) { image.resize(EI_NIDENT + 4); },
               "damaged ELF header"},
        Damage{"SectionTableCutOff",
               [](std::string& image) { image.resize(headerOf(image).e_shoff + 10); },
               "no section table"},
        Damage{"SectionTableFarAway",
               [](std::string& image) {
                 auto header = headerOf(image);
                 header.e_shoff = UINT64_MAX - 8;
                 storeHeader(image, header);
               },
               "no section table"},
        Damage{"NameTableIndexOutOfRange",
               [](std::string& image) {
                 auto header = headerOf(image);
                 header.e_shstrndx = header.e_shnum + 5;
                 storeHeader(image, header);
               },
               "damaged section name table"},
        Damage{"SectionContentsOutsideFile",
               [](std::string& image) {
                 const auto header = headerOf(image);
                 for (int i = 0; i < header.e_shnum; ++i) {
                   if (i == header.e_shstrndx)
                     continue;
                   Elf64_Shdr section;
                   const auto at = header.e_shoff + i * sizeof section;
                   std::memcpy(&section, image.data() + at, sizeof section);
                   section.sh_size = UINT64_MAX / 2;
                   std::memcpy(image.data() + at, &section, sizeof section);
                 }
               },
               "outside the file"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ElfSection, MissingSectionOrFileIsNamed) {
  std::string problem;
  EXPECT_FALSE(readElfSection(zelhelperExecutable(), "__no_such_section", &problem));
  EXPECT_EQ(problem, "no section __no_such_section");
  EXPECT_FALSE(readElfSection("/nonexistent/zelhelper", "__info_plist", &problem));
  EXPECT_NE(problem.find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace zel::test
