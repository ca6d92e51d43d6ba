// SPDX-License-Identifier: MIT
#include "platform/fd_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zel {

std::string writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0)
      return std::strerror(errno);
    if (written == 0)
      return "nothing more could be written";
    data.remove_prefix(static_cast<size_t>(written));
  }
  return {};
}

std::string readAll(int fd, std::string& contents) {
  constexpr size_t kChunk = 4096;
  struct stat status {};
  // Room for a byte more than the file holds: its whole contents come in the first read.
  size_t chunk = fstat(fd, &status) == 0 && S_ISREG(status.st_mode)
                     ? std::max(static_cast<size_t>(status.st_size) + 1, kChunk)
                     : kChunk;
  for (;;) {
    const size_t size = contents.size();
    contents.resize(size + chunk);
    const ssize_t got = read(fd, contents.data() + size, chunk);
    const int error = errno;
    contents.resize(size + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got == 0)
      return {};
    if (got < 0 && error != EINTR)
      return std::strerror(error);
    if (got > 0 && static_cast<size_t>(got) == chunk)
      chunk *= 2;
  }
}

std::optional<std::string> readLine(int fd, size_t limit) {
  std::string line;
  while (line.size() <= limit) {
    char c;
    const ssize_t got = read(fd, &c, 1);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return std::nullopt;
    if (c == '\n')
      return line;
    line.push_back(c);
  }
  return std::nullopt;
}

}  // namespace zel
