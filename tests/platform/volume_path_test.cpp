// SPDX-License-Identifier: MIT
// The volume of a path: the second and third components of a literal /Volumes path.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/volume_path.h"

namespace zel {
namespace {

TEST(VolumePath, IsTheSecondAndThirdComponentOfLiteralVolumesPaths) {
  struct Case {
    const char* path;
    size_t minimumComponents;
    std::optional<std::string> volume;
  };
  for (const Case& c : std::vector<Case>{{"/Volumes/Data", 3, "/Volumes/Data"},
                                         {"/Volumes/", 3, "/Volumes/"},
                                         {"/Volumes/Data", 4, std::nullopt},
                                         {"/Volumes/Data/", 4, "/Volumes/Data"},
                                         {"/volumes/Data/Sub", 3, std::nullopt},
                                         {"/VolumesX/Data/Sub", 3, std::nullopt}})
    EXPECT_EQ(volumePathOf(c.path, c.minimumComponents), c.volume) << c.path;
}

}  // namespace
}  // namespace zel
