// SPDX-License-Identifier: MIT
#include "platform/volume_path.h"

#include <string_view>
#include <vector>

#include <fmt/format.h>

namespace zel {

std::optional<std::string> volumePathOf(const std::string& path, size_t minimumComponents) {
  if (!path.starts_with("/Volumes/"))
    return std::nullopt;
  std::vector<std::string_view> components;
  std::string_view rest = path;
  for (size_t slash; (slash = rest.find('/')) != std::string_view::npos;
       rest.remove_prefix(slash + 1))
    components.push_back(rest.substr(0, slash));
  components.push_back(rest);
  if (components.size() < minimumComponents)
    return std::nullopt;
  return fmt::format("/{}/{}", components[1], components[2]);
}

}  // namespace zel
