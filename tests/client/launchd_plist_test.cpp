// Reading the launchd job (label, Mach service name) out of an executable's ELF section.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "platform/launchd_plist.h"
#include "tests/support/sandbox_root.h"

namespace zel {
namespace {

constexpr const char* kPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>Label</key>
	<string>net.zel.client-Helper</string>
	<key>MachServices</key>
	<dict>
		<key>net.zel.client-Helper.mach</key>
		<true/>
	</dict>
</dict>
</plist>
)";

struct PlistCase {
  const char* name;
  std::string xml;
  bool parses;
};

class LaunchdPlistParse : public testing::TestWithParam<PlistCase> {};

TEST_P(LaunchdPlistParse, FindsLabelAndTheOneMachService) {
  std::optional<LaunchdJob> job = parseLaunchdPlist(GetParam().xml);
  ASSERT_EQ(job.has_value(), GetParam().parses);
  if (job) {
    EXPECT_EQ(job->label, "net.zel.client-Helper");
    EXPECT_EQ(job->machServiceName, "net.zel.client-Helper.mach");
  }
}

std::string replaced(std::string text, const std::string& part, const std::string& by = "") {
  return text.replace(text.find(part), part.size(), by);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LaunchdPlistParse,
    testing::Values(
        PlistCase{"Complete", kPlist, true},
        PlistCase{"OnOneLine",
                  "<plist><dict><key>Label</key><string>net.zel.client-Helper</string><key>"
                  "MachServices</key><dict><key>net.zel.client-Helper.mach</key><true/></dict>"
                  "</dict></plist>",
                  true},
        PlistCase{"NoLabel", replaced(kPlist, "<key>Label</key>"), false},
        PlistCase{"EmptyLabel",
                  replaced(kPlist, "<string>net.zel.client-Helper</string>", "<string></string>"),
                  false},
        PlistCase{"NoMachServices", replaced(kPlist, "<key>MachServices</key>"), false},
        PlistCase{"NoServiceInMachServices",
                  replaced(kPlist, "<key>net.zel.client-Helper.mach</key>"), false},
        PlistCase{"Empty", "", false}),
    [](const testing::TestParamInfo<PlistCase>& info) { return info.param.name; });

class LaunchdPlistSection : public testing::Test {
 protected:
  // A copy of /bin/true, with `plist` added as its "__launchd_plist" section when given.
  std::string executable(const std::optional<std::string>& plist) {
    std::string path = mRoot.at("usr/local/libexec/candidate");
    std::string command = fmt::format("cp /bin/true {}", path);
    if (plist) {
      mRoot.writeFile("plist.xml", *plist);
      command = fmt::format("objcopy --add-section __launchd_plist={} /bin/true {}",
                            mRoot.at("plist.xml"), path);
    }
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }

  test::SandboxRoot mRoot;
};

TEST_F(LaunchdPlistSection, IsReadFromTheExecutable) {
  std::optional<LaunchdJob> job = launchdJobOfExecutable(executable(kPlist));
  ASSERT_TRUE(job);
  EXPECT_EQ(job->label, "net.zel.client-Helper");
  EXPECT_EQ(job->machServiceName, "net.zel.client-Helper.mach");
}

TEST_F(LaunchdPlistSection, IsAbsentFromOtherFiles) {
  EXPECT_FALSE(launchdJobOfExecutable(executable(std::nullopt)));
  EXPECT_FALSE(launchdJobOfExecutable(mRoot.at("etc/passwd")));
  EXPECT_FALSE(launchdJobOfExecutable(mRoot.at("no-such-file")));
}

}  // namespace
}  // namespace zel
