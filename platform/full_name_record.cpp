#include "platform/full_name_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/system_root.h"
#include "platform/unique_fd.h"
#include "resources/labels.h"

namespace zel {
namespace {

std::string recordDirectory() {
  return underSystemRoot(fmt::format("/var/lib/{}", kHelperLabel));
}

CommitError errnoError(std::string_view what, const std::string& path) {
  int code = errno;
  return CommitError{fmt::format("cannot {} {}: {}", what, path, std::strerror(code)), code};
}

std::optional<CommitError> makeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
    return std::nullopt;
  return errnoError("create", path);
}

std::optional<CommitError> writeAll(int fd, const std::string& text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
    if (wrote < 0)
      return errnoError("write", path);
    done += static_cast<size_t>(wrote);
  }
  return std::nullopt;
}

}  // namespace

std::string fullNameRecordPath() {
  return recordDirectory() + "/groups.json";
}

std::optional<std::vector<RecordedGroup>> readFullNameRecord(std::string* problem) {
  std::string path = fullNameRecordPath();
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 && errno == ENOENT)
    return std::vector<RecordedGroup>{};
  std::ifstream in(path);
  if (!in) {
    *problem = fmt::format("cannot read {}", path);
    return std::nullopt;
  }
  try {
    nlohmann::json record = nlohmann::json::parse(in);
    std::vector<RecordedGroup> groups;
    for (const nlohmann::json& group : record.at("groups"))
      groups.push_back(RecordedGroup{group.at("name").get<std::string>(),
                                     group.at("gid").get<gid_t>(),
                                     group.at("fullName").get<std::string>()});
    return groups;
  } catch (const nlohmann::json::exception& error) {
    *problem = fmt::format("cannot parse {}: {}", fullNameRecordPath(), error.what());
    return std::nullopt;
  }
}

std::optional<CommitError> writeFullNameRecord(const std::vector<RecordedGroup>& groups) {
  nlohmann::json list = nlohmann::json::array();
  for (const RecordedGroup& group : groups)
    list.push_back({{"name", group.name}, {"gid", group.gid}, {"fullName", group.fullName}});
  std::string text = nlohmann::json{{"groups", list}}.dump(2) + "\n";

  std::string directory = recordDirectory();
  if (auto error = makeDirectory(underSystemRoot("/var/lib")))
    return error;
  if (auto error = makeDirectory(directory))
    return error;
  std::string temporary = directory + "/groups.json.XXXXXX";
  UniqueFd file(mkostemp(temporary.data(), O_CLOEXEC));
  if (!file)
    return errnoError("create", temporary);
  std::optional<CommitError> error = writeAll(file.get(), text, temporary);
  if (!error && fchmod(file.get(), 0644) != 0)
    error = errnoError("set the mode of", temporary);
  if (!error && fsync(file.get()) != 0)
    error = errnoError("sync", temporary);
  if (!error && rename(temporary.c_str(), fullNameRecordPath().c_str()) != 0)
    error = errnoError("rename", temporary);
  if (error) {
    unlink(temporary.c_str());
    return error;
  }
  UniqueFd directoryFd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directoryFd || fsync(directoryFd.get()) != 0)
    return errnoError("sync", directory);
  return std::nullopt;
}

bool isRecordableText(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

}  // namespace zel
