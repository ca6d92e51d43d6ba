// SPDX-License-Identifier: MIT
// The volume check of the provisioning operations: paths that begin with "/Volumes/" (literally,
// case-sensitive) name a volume mounted at "/Volumes/<name>".
#pragma once

#include <optional>
#include <string>

namespace zel {

// For a path that begins with "/Volumes/" and splits at "/" into at least `minimumComponents`
// components (the first one empty), "/" + the second component + "/" + the third.
std::optional<std::string> volumePathOf(const std::string& path, size_t minimumComponents);

}  // namespace zel
