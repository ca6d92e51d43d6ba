#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include <fmt/format.h>

namespace zel {
namespace {

std::string failure(std::string_view what, const std::string& path) {
  return fmt::format("cannot {} {}: {}", what, path, std::strerror(errno));
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Writes through `fill` into a temporary file beside `path`, then renames it over `path`.
std::string replaceWith(const std::string& path, mode_t mode,
                        const std::function<std::string(int fd, const std::string& temp)>& fill) {
  std::filesystem::path target(path);
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  if (error)
    return fmt::format("cannot create {}: {}", target.parent_path().string(), error.message());

  std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0)
    return failure("create", temp);
  std::string problem = fill(fd, temp);
  if (problem.empty() && (fchown(fd, 0, 0) != 0 || fchmod(fd, mode) != 0))
    problem = failure("set the owner and mode of", temp);
  if (problem.empty() && fsync(fd) != 0)
    problem = failure("flush", temp);
  close(fd);
  if (problem.empty() && rename(temp.c_str(), path.c_str()) != 0)
    problem = failure("rename a new file to", path);
  if (!problem.empty())
    unlink(temp.c_str());
  return problem;
}

}  // namespace

std::string replaceFile(const std::string& path, std::string_view contents, mode_t mode) {
  return replaceWith(path, mode, [&](int fd, const std::string& temp) {
    return writeAll(fd, contents) ? std::string() : failure("write", temp);
  });
}

std::string replaceFileWithCopy(const std::string& path, const std::string& source, mode_t mode) {
  return replaceWith(path, mode, [&](int fd, const std::string& temp) {
    int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
      return failure("read", source);
    char buffer[1 << 16];
    std::string problem;
    for (;;) {
      ssize_t n = read(in, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0) {
        problem = failure("read", source);
        break;
      }
      if (n == 0)
        break;
      if (!writeAll(fd, std::string_view(buffer, static_cast<size_t>(n)))) {
        problem = failure("write", temp);
        break;
      }
    }
    close(in);
    return problem;
  });
}

}  // namespace zel
