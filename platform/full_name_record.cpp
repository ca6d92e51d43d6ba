// SPDX-License-Identifier: MIT
#include "platform/full_name_record.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/atomic_file.h"
#include "platform/system_root.h"
#include "resources/labels.h"

namespace zel {
namespace {

std::string recordDirectory() {
  return underSystemRoot(fmt::format("/var/lib/{}", kHelperLabel));
}

// The directory is made root-only, also when an earlier version left it open to reading.
std::optional<CommitError> makeRootOnlyDirectory(const std::string& path) {
  if ((mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) && chmod(path.c_str(), 0700) == 0)
    return std::nullopt;
  int code = errno;
  return CommitError{fmt::format("cannot create {}: {}", path, std::strerror(code)), code};
}

}  // namespace

std::string fullNameRecordPath() {
  return recordDirectory() + "/groups.json";
}

std::optional<FullNameRecord> readFullNameRecord(std::string* problem) {
  std::string path = fullNameRecordPath();
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 && errno == ENOENT)
    return FullNameRecord{};
  std::ifstream in(path);
  if (!in) {
    *problem = fmt::format("cannot read {}", path);
    return std::nullopt;
  }
  try {
    nlohmann::json json = nlohmann::json::parse(in);
    FullNameRecord record;
    record.highestGid = json.value("highestGid", gid_t{0});
    for (const nlohmann::json& group : json.at("groups")) {
      record.groups.push_back(RecordedGroup{
          group.at("name").get<std::string>(), group.at("gid").get<gid_t>(),
          group.at("fullName").get<std::string>(), group.value("requestedBy", uid_t{0})});
      record.highestGid = std::max(record.highestGid, record.groups.back().gid);
    }
    return record;
  } catch (const nlohmann::json::exception& error) {
    *problem = fmt::format("cannot parse {}: {}", path, error.what());
    return std::nullopt;
  }
}

std::optional<CommitError> writeFullNameRecord(const std::vector<RecordedGroup>& groups,
                                               gid_t highestGid) {
  nlohmann::json list = nlohmann::json::array();
  for (const RecordedGroup& group : groups) {
    list.push_back({{"name", group.name},
                    {"gid", group.gid},
                    {"fullName", group.fullName},
                    {"requestedBy", group.requestedBy}});
    highestGid = std::max(highestGid, group.gid);
  }
  std::string text = nlohmann::json{{"highestGid", highestGid}, {"groups", list}}.dump(2) + "\n";

  mkdir(underSystemRoot("/var/lib").c_str(), 0755);
  if (auto error = makeRootOnlyDirectory(recordDirectory()))
    return error;
  std::string problem = replaceFile(fullNameRecordPath(), text, 0600);
  if (!problem.empty())
    return CommitError{problem, EIO};
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
