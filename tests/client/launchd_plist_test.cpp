// SPDX-License-Identifier: MIT
// Reading the launchd job (label, Mach service name) out of the launchd property list. (Reading
// it out of an executable's section runs end to end whenever a test blesses the helper.)
#include <gtest/gtest.h>

#include <string>

#include "platform/launchd_plist.h"

namespace zel {
namespace {

constexpr const char* kPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
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
        PlistCase{"NoMachServices", replaced(kPlist, "<key>MachServices</key>"), false},
        PlistCase{"NoServiceInMachServices",
                  replaced(kPlist, "<key>net.zel.client-Helper.mach</key>"), false},
        PlistCase{"NotAPlist", "#!/bin/sh\n", false}),
    [](const testing::TestParamInfo<PlistCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zel
