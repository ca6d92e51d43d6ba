// SPDX-License-Identifier: MIT
#include "cli/helper_groups_table.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/core.h>

#include "platform/log.h"

namespace zel::cli {
namespace {

constexpr std::size_t kColumns = 5;
using Row = std::array<std::string, kColumns>;

// The columns a text takes, counting a character as one (its bytes but the first are 10xxxxxx).
std::size_t columnsOf(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char byte) {
    return (static_cast<unsigned char>(byte) & 0xc0) != 0x80;
  }));
}

}  // namespace

void printHelperGroups(const HelperGroupListing& listing) {
  std::vector<Row> rows{{"GID", "NAME", "FULL NAME", "ASKED BY", "OPEN"}};
  for (const HelperGroupEntry& group : listing.groups)
    rows.push_back({std::to_string(group.gid), escapeForLog(group.name),
                    escapeForLog(group.fullName), escapeForLog(group.askedBy),
                    group.open ? "yes" : "no"});
  // The last column is not padded, so that no line ends in spaces.
  constexpr std::size_t kLast = kColumns - 1;
  std::array<std::size_t, kLast> widths{};
  for (const Row& row : rows)
    for (std::size_t column = 0; column < kLast; ++column)
      widths[column] = std::max(widths[column], columnsOf(row[column]));
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t column = 0; column < kLast; ++column)
      line += row[column] + std::string(widths[column] - columnsOf(row[column]) + 2, ' ');
    fmt::print("{}{}\n", line, row[kLast]);
  }
  fmt::print("{}\n", escapeForLog(listing.summary));
}

}  // namespace zel::cli
