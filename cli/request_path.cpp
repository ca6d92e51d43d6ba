// SPDX-License-Identifier: MIT
#include "cli/request_path.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

namespace zel::cli {
namespace {

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= path.size();) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos)
      slash = path.size();
    if (slash > start)
      parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

std::string joined(const std::vector<std::string>& parts, size_t from, size_t to) {
  std::vector<std::string> slice(parts.begin() + from, parts.begin() + to);
  return fmt::format("{}", fmt::join(slice, "/"));
}

}  // namespace

std::optional<std::string> requestPath(const std::string& argument, std::string* problem) {
  if (argument.starts_with('/'))
    return argument;
  if (argument.empty()) {
    *problem = "PATH is empty";
    return std::nullopt;
  }
  const std::vector<std::string> parts = components(argument);
  for (size_t kept = parts.size();; --kept) {
    const std::string prefix = kept == 0 ? "." : joined(parts, 0, kept);
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(prefix.c_str(), nullptr),
                                                         &std::free);
    if (resolved) {
      std::string path = resolved.get();
      const std::string rest = joined(parts, kept, parts.size());
      if (!rest.empty())
        path += (path == "/" ? "" : "/") + rest;
      return path;
    }
    // A prefix that is missing, or that this user cannot look into, is sent as typed: the
    // helper judges it.
    if ((errno != ENOENT && errno != ENOTDIR && errno != EACCES) || kept == 0) {
      *problem =
          fmt::format("cannot resolve {}: {}", prefix == "." ? "the working directory" : prefix,
                      std::strerror(errno));
      return std::nullopt;
    }
  }
}

}  // namespace zel::cli
