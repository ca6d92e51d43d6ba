// SPDX-License-Identifier: MIT
#include "tests/platform/items.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <fmt/format.h>

#include "platform/unique_fd.h"

namespace zel::test {

void PrintTo(const ItemStatus& status, std::ostream* out) {
  *out << (status.exists ? fmt::format("({} {}:{} {:04o})", status.isDirectory ? "dir" : "item",
                                       status.uid, status.gid, status.mode)
                         : "(missing)");
}

ItemStatus statusOf(const std::string& path) {
  struct stat item {};
  if (lstat(path.c_str(), &item) != 0)
    return ItemStatus{};
  return ItemStatus{true, item.st_uid, item.st_gid, item.st_mode & 07777, S_ISDIR(item.st_mode)};
}

std::map<std::string, ItemStatus> snapshotOf(const std::string& directory) {
  std::map<std::string, ItemStatus> items;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
    items[entry.path().string()] = statusOf(entry.path().string());
  return items;
}

namespace {

void setImmutable(const std::string& path, bool immutable) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_GE(fd.get(), 0) << path;
  int flags = 0;
  EXPECT_EQ(ioctl(fd.get(), FS_IOC_GETFLAGS, &flags), 0);
  flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  EXPECT_EQ(ioctl(fd.get(), FS_IOC_SETFLAGS, &flags), 0) << path;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);)
    parts.push_back(part);
  return parts;
}

// The fields of the group file's line for `name`, or none.
std::vector<std::string> groupFields(const SandboxRoot& root, const std::string& name) {
  for (const std::string& line : split(root.readFile("etc/group"), '\n')) {
    std::vector<std::string> fields = split(line + ":", ':');
    if (fields.size() == 4 && fields[0] == name)
      return fields;
  }
  return {};
}

}  // namespace

void makeFile(const std::string& path, mode_t mode, uid_t uid, gid_t gid) {
  std::ofstream(path) << "contents\n";
  ASSERT_EQ(chown(path.c_str(), uid, gid), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

void makeDirectory(const std::string& path, mode_t mode, uid_t uid, gid_t gid) {
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
  ASSERT_EQ(chown(path.c_str(), uid, gid), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

ImmutableItem::ImmutableItem(std::string path) : mPath(std::move(path)) {
  setImmutable(mPath, true);
}

ImmutableItem::~ImmutableItem() {
  setImmutable(mPath, false);
}

gid_t gidOfGroup(const SandboxRoot& root, const std::string& name) {
  std::vector<std::string> fields = groupFields(root, name);
  return fields.empty() ? static_cast<gid_t>(-1) : static_cast<gid_t>(std::stoul(fields[2]));
}

std::vector<std::string> membersOfGroup(const SandboxRoot& root, const std::string& name) {
  std::vector<std::string> fields = groupFields(root, name);
  return fields.empty() ? fields : split(fields[3], ',');
}

}  // namespace zel::test
