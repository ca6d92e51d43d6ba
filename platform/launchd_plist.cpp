// SPDX-License-Identifier: MIT
#include "platform/launchd_plist.h"

#include <cstring>

#include <fmt/format.h>

#include "platform/elf_section.h"

namespace zel {
namespace {

// The text of the first element <tag>...</tag> at or after `from`, skipping whitespace only.
std::optional<std::string_view> nextElement(std::string_view xml, size_t& from,
                                            std::string_view tag) {
  size_t at = xml.find_first_not_of(" \t\r\n", from);
  std::string start = fmt::format("<{}>", tag);
  std::string end = fmt::format("</{}>", tag);
  if (at == std::string_view::npos || xml.substr(at, start.size()) != start)
    return std::nullopt;
  size_t close = xml.find(end, at + start.size());
  if (close == std::string_view::npos)
    return std::nullopt;
  from = close + end.size();
  return xml.substr(at + start.size(), close - at - start.size());
}

}  // namespace

std::optional<LaunchdJob> parseLaunchdPlist(std::string_view xml) {
  LaunchdJob job;
  size_t at = xml.find("<key>Label</key>");
  if (at == std::string_view::npos)
    return std::nullopt;
  at += std::strlen("<key>Label</key>");
  std::optional<std::string_view> label = nextElement(xml, at, "string");
  at = xml.find("<key>MachServices</key>");
  if (!label || label->empty() || at == std::string_view::npos)
    return std::nullopt;
  at += std::strlen("<key>MachServices</key>");
  size_t dictAt = xml.find_first_not_of(" \t\r\n", at);
  if (dictAt == std::string_view::npos || xml.substr(dictAt, 6) != "<dict>")
    return std::nullopt;
  at = dictAt + 6;
  std::optional<std::string_view> service = nextElement(xml, at, "key");
  if (!service || service->empty())
    return std::nullopt;
  job.label = *label;
  job.machServiceName = *service;
  return job;
}

std::optional<LaunchdJob> launchdJobOfExecutable(const std::string& path) {
  std::optional<std::string> plist = readElfSection(path, "__launchd_plist");
  if (!plist)
    return std::nullopt;
  return parseLaunchdPlist(*plist);
}

}  // namespace zel
