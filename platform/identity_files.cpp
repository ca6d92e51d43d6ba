// SPDX-License-Identifier: MIT
#include "platform/identity_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>

#include "platform/fd_io.h"
#include "platform/unique_fd.h"

namespace zel {
namespace {

constexpr size_t kUserFields = 7;
constexpr size_t kGroupFields = 4;

// The whole file; empty when it cannot be read.
std::string contentsOf(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  std::string text;
  if (!fd || !readAll(fd.get(), text).empty())
    return {};
  return text;
}

std::optional<unsigned> idOf(std::string_view field) {
  unsigned id = 0;
  auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), id);
  if (field.empty() || error != std::errc() || end != field.data() + field.size())
    return std::nullopt;
  return id;
}

// Calls `take` with the fields of every entry line that has exactly `Count` fields.
template <size_t Count, typename Take>
void forEachEntry(std::string_view text, Take take) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#')
      continue;
    line.remove_prefix(start);
    std::array<std::string_view, Count> fields;
    size_t count = 0;
    for (size_t colon; count < Count; line.remove_prefix(colon + 1)) {
      colon = line.find(':');
      fields[count++] = line.substr(0, colon);
      if (colon == std::string_view::npos)
        break;
    }
    if (count == Count && line.find(':') == std::string_view::npos && !fields[0].empty())
      take(fields);
  }
}

}  // namespace

std::vector<UserIdentity> readUserFile(const std::string& path) {
  std::vector<UserIdentity> users;
  std::string text = contentsOf(path);
  forEachEntry<kUserFields>(text, [&](const auto& fields) {
    std::optional<unsigned> uid = idOf(fields[2]);
    std::optional<unsigned> gid = idOf(fields[3]);
    if (uid && gid)
      users.push_back(UserIdentity{std::string(fields[0]), *uid, *gid, std::string(fields[5]),
                                   std::string(fields[6])});
  });
  return users;
}

std::vector<GroupIdentity> readGroupFile(const std::string& path) {
  std::vector<GroupIdentity> groups;
  std::string text = contentsOf(path);
  groups.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  forEachEntry<kGroupFields>(text, [&](const auto& fields) {
    std::optional<unsigned> gid = idOf(fields[2]);
    if (!gid)
      return;
    groups.push_back(GroupIdentity{std::string(fields[0]), *gid, std::string(fields[3]),
                                   std::string(fields[0]), false});
  });
  return groups;
}

}  // namespace zel
