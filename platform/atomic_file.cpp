// SPDX-License-Identifier: MIT
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>

#include <fmt/format.h>

#include "platform/fd_io.h"
#include "platform/unique_fd.h"

namespace zel {
namespace {

using Fill = std::function<std::string(int fd, const std::string& temp)>;

std::string failure(std::string_view what, const std::string& path) {
  return fmt::format("cannot {} {}: {}", what, path, std::strerror(errno));
}

std::string failure(std::string_view what, const std::string& path, const std::string& why) {
  return why.empty() ? why : fmt::format("cannot {} {}: {}", what, path, why);
}

// A new, empty file beside `name` in `directory`, under a name nobody could have guessed.
UniqueFd createTemporary(int directory, const std::string& name, std::string* tempName) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    uint64_t suffix = 0;
    if (getrandom(&suffix, sizeof suffix, 0) != sizeof suffix)
      return UniqueFd();
    *tempName = fmt::format(".{}.{:016x}", name, suffix);
    UniqueFd fd(openat(directory, tempName->c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd || errno != EEXIST)
      return fd;
  }
  return UniqueFd();
}

std::string replaceWithin(int directory, const std::string& name, const std::string& path,
                          mode_t mode, bool ownedByRoot, const Fill& fill) {
  std::string tempName;
  UniqueFd fd = createTemporary(directory, name, &tempName);
  const std::string temp = fmt::format("{} (as {})", path, tempName);
  if (!fd)
    return failure("create a temporary file for", path);
  std::string problem = fill(fd.get(), temp);
  if (problem.empty() && ownedByRoot && fchown(fd.get(), 0, 0) != 0)
    problem = failure("set the owner of", temp);
  if (problem.empty() && fchmod(fd.get(), mode) != 0)
    problem = failure("set the mode of", temp);
  if (problem.empty() && fsync(fd.get()) != 0)
    problem = failure("flush", temp);
  fd.reset();
  if (problem.empty() && renameat(directory, tempName.c_str(), directory, name.c_str()) != 0)
    problem = failure("rename a new file to", path);
  if (!problem.empty()) {
    unlinkat(directory, tempName.c_str(), 0);
    return problem;
  }
  fsync(directory);  // makes the rename itself durable
  return problem;
}

std::string replaceOwnedByRoot(const std::string& path, mode_t mode, const Fill& fill) {
  std::filesystem::path target(path);
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  if (error)
    return fmt::format("cannot create {}: {}", target.parent_path().string(), error.message());
  UniqueFd directory(open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory)
    return failure("open", target.parent_path().string());
  return replaceWithin(directory.get(), target.filename().string(), path, mode, true, fill);
}

Fill writing(std::string_view contents) {
  return [contents](int fd, const std::string& temp) {
    return failure("write", temp, writeAll(fd, contents));
  };
}

}  // namespace

std::string replaceFile(const std::string& path, std::string_view contents, mode_t mode) {
  return replaceOwnedByRoot(path, mode, writing(contents));
}

std::string replaceFileIn(int directory, const std::string& name, const std::string& path,
                          std::string_view contents, mode_t mode) {
  return replaceWithin(directory, name, path, mode, false, writing(contents));
}

std::string replaceFileWithCopy(const std::string& path, const std::string& source, mode_t mode) {
  return replaceOwnedByRoot(path, mode, [&](int fd, const std::string& temp) {
    UniqueFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in)
      return failure("read", source);
    std::string contents;
    if (std::string problem = failure("read", source, readAll(in.get(), contents));
        !problem.empty())
      return problem;
    return failure("write", temp, writeAll(fd, contents));
  });
}

}  // namespace zel
