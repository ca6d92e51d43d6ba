// SPDX-License-Identifier: MIT
#include "values/user_defaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/fd_io.h"
#include "platform/log.h"
#include "platform/path_walk.h"
#include "platform/unique_fd.h"
#include "resources/labels.h"
#include "values/value.h"

namespace zel {
namespace {

using nlohmann::json;

constexpr const char* kFileName = "defaults.json";

std::string configHome() {
  // Relative values are ignored, as the XDG base directory rules ask.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::string(home) + "/.config";
  const passwd* entry = getpwuid(getuid());
  return std::string(entry ? entry->pw_dir : "") + "/.config";
}

std::string directory() {
  return configHome() + "/" + std::string(kClientIdentifier);
}

// What a read of the file found: a JSON object, nothing (missing file), or a reason it is unusable.
struct Contents {
  json object = json::object();
  std::string problem;
};

// Reads `name` in `directory` (AT_FDCWD for a path); a link there is not followed.
Contents readContents(int directory, const std::string& name) {
  UniqueFd fd(openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT)
      return {};
    return {json::object(), errno == ELOOP ? "a symbolic link" : std::strerror(errno)};
  }
  std::string text;
  if (std::string problem = readAll(fd.get(), text); !problem.empty())
    return {json::object(), std::move(problem)};
  json parsed = json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object())
    return {json::object(), "not a JSON object"};
  return {std::move(parsed), {}};
}

std::string notOurs(int directory, const std::string& path) {
  struct stat info;
  if (fstat(directory, &info) != 0)
    return fmt::format("{}: {}", path, std::strerror(errno));
  if (info.st_uid != geteuid())
    return fmt::format("{} belongs to uid {}, not to you (uid {})", path, info.st_uid, geteuid());
  return {};
}

// The directory at `path`, opened for reading, walked without following a symbolic link in any
// component. Missing directories are made (0700), each only inside a directory of the effective
// user, and the directory itself must be the effective user's: so a preference written as root
// never lands where a link or a directory of another user points.
UniqueFd openOwnDirectory(const std::string& path, std::string* problem) {
  PathWalk walk = walkPath(path, nullptr);
  UniqueFd directory;
  size_t existing = walk.components.size();
  if (walk.stop == WalkStop::kComplete && walk.item->fd && walk.item->isDirectory()) {
    directory = std::move(walk.item->fd);
  } else if (walk.stop == WalkStop::kMissing) {
    existing = walk.missingIndex();
    directory = std::move(walk.directories.back().fd);
  } else {
    *problem = walk.stop == WalkStop::kComplete ? fmt::format("{}: not a directory", path)
                                                : walk.error.description;
    return {};
  }
  for (size_t i = existing; i < walk.components.size(); ++i) {
    if (*problem = notOurs(directory.get(), walk.path(i)); !problem->empty())
      return {};
    const std::string& name = walk.components[i];
    UniqueFd next;
    if (mkdirat(directory.get(), name.c_str(), 0700) == 0 || errno == EEXIST)
      next = UniqueFd(
          openat(directory.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
      *problem = fmt::format("{}: {}", walk.path(i + 1), std::strerror(errno));
      return {};
    }
    directory = std::move(next);
  }
  if (*problem = notOurs(directory.get(), path); !problem->empty())
    return {};
  return directory;
}

bool truthy(const json& value) {
  if (value.is_boolean())
    return value.get<bool>();
  if (value.is_number())
    return value.get<double>() != 0;
  if (value.is_string()) {
    std::string text = value.get<std::string>();
    for (char& c : text)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text == "yes" || text == "true" || intValueOfText(text) != 0;
  }
  return false;
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults defaults;
  return defaults;
}

std::string UserDefaults::path() const {
  return directory() + "/" + kFileName;
}

bool UserDefaults::boolForKey(const std::string& key) {
  const std::string file = path();
  const Contents contents = readContents(AT_FDCWD, file);
  if (!contents.problem.empty()) {
    report(fmt::format("Preferences in {} cannot be read ({}); every preference reads as NO", file,
                       contents.problem));
    return false;
  }
  const auto found = contents.object.find(key);
  return found != contents.object.end() && truthy(*found);
}

bool UserDefaults::setBool(bool value, const std::string& key) {
  const std::string dir = directory();
  const std::string file = dir + "/" + kFileName;
  auto failed = [&](const std::string& reason) {
    report(fmt::format("Preference \"{}\" not stored: {} ({})", key, file, reason));
    return false;
  };
  std::string problem;
  UniqueFd dirFd = openOwnDirectory(dir, &problem);
  if (!dirFd)
    return failed(problem);
  if (flock(dirFd.get(), LOCK_EX) != 0)
    return failed(std::strerror(errno));
  Contents contents = readContents(dirFd.get(), kFileName);
  if (!contents.problem.empty())
    return failed(contents.problem + "; the file is left as it is");
  contents.object[key] = value;
  problem = replaceFileIn(dirFd.get(), kFileName, file, contents.object.dump(2) + "\n", 0600);
  if (!problem.empty())
    return failed(problem);
  return true;
}

void UserDefaults::report(const std::string& message) {
  {
    std::lock_guard lock(mMutex);
    if (!mReported.insert(message).second)
      return;
  }
  NSLog(message);
}

}  // namespace zel
