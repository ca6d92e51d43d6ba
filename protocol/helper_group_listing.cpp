// SPDX-License-Identifier: MIT
#include "protocol/helper_group_listing.h"

#include <charconv>
#include <iterator>
#include <limits>
#include <string_view>

#include <fmt/format.h>

#include "platform/log.h"

namespace zel {
namespace {

std::string shown(std::string_view text) {
  if (text.size() <= kShownBytes)
    return escapeForLog(text);
  std::size_t cut = kShownBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
    --cut;  // not inside a character
  return escapeForLog(text.substr(0, cut)) + "…";
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t end = text.find(separator);
    parts.push_back(text.substr(0, end));
    if (end == std::string_view::npos)
      return parts;
    text.remove_prefix(end + 1);
  }
}

std::optional<HelperGroupEntry> parseLine(std::string_view line) {
  const std::vector<std::string_view> fields = split(line, '\t');
  if (fields.size() != 5 || (fields[4] != "yes" && fields[4] != "no"))
    return std::nullopt;
  gid_t gid = 0;
  const auto [end, error] = std::from_chars(fields[0].begin(), fields[0].end(), gid);
  if (fields[0].empty() || error != std::errc() || end != fields[0].end())
    return std::nullopt;
  return HelperGroupEntry{gid, std::string(fields[1]), std::string(fields[2]),
                          std::string(fields[3]), fields[4] == "yes"};
}

// The page asked for from `from`, or nothing when `text` is not one.
std::optional<HelperGroupListing> parsePage(std::string_view text, gid_t from) {
  if (!text.ends_with('\n'))
    return std::nullopt;
  text.remove_suffix(1);
  const std::vector<std::string_view> lines = split(text, '\n');
  HelperGroupListing page{std::string(lines.front()), {}};
  for (auto line = lines.begin() + 1; line != lines.end(); ++line) {
    std::optional<HelperGroupEntry> entry = parseLine(*line);
    if (!entry || entry->gid < from)
      return std::nullopt;
    from = entry->gid;
    page.groups.push_back(std::move(*entry));
  }
  return page;
}

}  // namespace

std::string helperGroupLine(const HelperGroupEntry& entry) {
  return fmt::format("{}\t{}\t{}\t{}\t{}\n", entry.gid, shown(entry.name), shown(entry.fullName),
                     shown(entry.askedBy), entry.open ? "yes" : "no");
}

std::optional<HelperGroupListing> readHelperGroupListing(ZelHelper& helper) {
  HelperGroupListing listing;
  for (gid_t from = 0;;) {
    std::optional<HelperGroupListing> page = parsePage(helper.helperGroups(from), from);
    if (!page)
      return std::nullopt;
    listing.summary = std::move(page->summary);
    if (page->groups.empty())
      return listing;
    const gid_t last = page->groups.back().gid;
    listing.groups.insert(listing.groups.end(), std::make_move_iterator(page->groups.begin()),
                          std::make_move_iterator(page->groups.end()));
    if (last == std::numeric_limits<gid_t>::max())
      return listing;
    from = last + 1;
  }
}

}  // namespace zel
