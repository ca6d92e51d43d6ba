// SPDX-License-Identifier: MIT
// Items on disk as the tests see them (owner, group, the 07777 mode bits), and the sandbox's
// group file read the way the shadow tools write it.
#pragma once

#include <sys/types.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/sandbox_root.h"

namespace zel::test {

struct ItemStatus {
  bool exists = false;
  uid_t uid = 0;
  gid_t gid = 0;
  mode_t mode = 0;
  bool isDirectory = false;
  bool operator==(const ItemStatus&) const = default;
};
void PrintTo(const ItemStatus& status, std::ostream* out);

ItemStatus statusOf(const std::string& path);
// Every item below `directory`, by path, with its status.
std::map<std::string, ItemStatus> snapshotOf(const std::string& directory);

void makeFile(const std::string& path, mode_t mode, uid_t uid = 0, gid_t gid = 0);
void makeDirectory(const std::string& path, mode_t mode, uid_t uid = 0, gid_t gid = 0);

// Sets the immutable flag of an item, so that even root cannot change it, until destroyed.
class ImmutableItem {
 public:
  explicit ImmutableItem(std::string path);
  ~ImmutableItem();

 private:
  std::string mPath;
};

// The id of the group of that POSIX name in the sandbox's group file, or -1.
gid_t gidOfGroup(const SandboxRoot& root, const std::string& name);
// The members listed for that group in the sandbox's group file.
std::vector<std::string> membersOfGroup(const SandboxRoot& root, const std::string& name);

// Names the parameter of a parameterised test by its `name` field.
template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

}  // namespace zel::test
