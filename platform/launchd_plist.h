// SPDX-License-Identifier: MIT
// The launchd property list that an executable carries in its ELF section "__launchd_plist":
// the job label and the one Mach service name the job checks in with.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zel {

struct LaunchdJob {
  std::string label;            // the string under "Label"
  std::string machServiceName;  // the only key under "MachServices"
};

// Reads the job of the executable at `path`; nullopt when the file is not an ELF executable
// with that section, or the section is not such a property list.
std::optional<LaunchdJob> launchdJobOfExecutable(const std::string& path);

// Parses the XML property list text; nullopt when "Label" or the one "MachServices" entry is
// missing.
std::optional<LaunchdJob> parseLaunchdPlist(std::string_view xml);

}  // namespace zel
