#include "platform/path_walk.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

namespace zel {

std::optional<std::vector<std::string>> absolutePathComponents(std::string_view path) {
  if (path.empty() || path.front() != '/')
    return std::nullopt;
  std::vector<std::string> components;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos)
      end = path.size();
    std::string_view component = path.substr(start, end - start);
    if (component == "." || component == "..")
      return std::nullopt;
    if (!component.empty())
      components.emplace_back(component);
    start = end + 1;
  }
  return components;
}

std::string joinComponents(const std::vector<std::string>& components, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i)
    path += "/" + components[i];
  return path.empty() ? "/" : path;
}

FileError invalidPathError(std::string_view path) {
  return FileError{EINVAL,
                   fmt::format("{}: not an absolute path without . or .. components", path)};
}

FileError componentError(int code, int parent, const std::string& name, const std::string& path) {
  struct stat status {};
  // O_NOFOLLOW reports a link as ELOOP, or as ENOTDIR together with O_DIRECTORY.
  if ((code == ELOOP || code == ENOTDIR) &&
      fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode))
    return FileError{ELOOP, fmt::format("{}: is a symbolic link, which is not followed", path)};
  return FileError{code, fmt::format("{}: {}", path, std::strerror(code))};
}

UniqueFd openDirectory(const std::vector<std::string>& components, size_t count, FileError* error) {
  UniqueFd directory(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!directory) {
    *error = FileError{errno, fmt::format("/: {}", std::strerror(errno))};
    return {};
  }
  for (size_t i = 0; i < count; ++i) {
    UniqueFd next(openat(directory.get(), components[i].c_str(),
                         O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
      *error =
          componentError(errno, directory.get(), components[i], joinComponents(components, i + 1));
      return {};
    }
    directory = std::move(next);
  }
  return directory;
}

std::optional<ItemLocation> locateItem(std::string_view path, FileError* error) {
  std::optional<std::vector<std::string>> components = absolutePathComponents(path);
  if (!components) {
    *error = invalidPathError(path);
    return std::nullopt;
  }
  size_t parentCount = components->empty() ? 0 : components->size() - 1;
  UniqueFd parent = openDirectory(*components, parentCount, error);
  if (!parent)
    return std::nullopt;
  std::string name = components->empty() ? "." : components->back();
  return ItemLocation{std::move(parent), std::move(name),
                      joinComponents(*components, components->size())};
}

}  // namespace zel
