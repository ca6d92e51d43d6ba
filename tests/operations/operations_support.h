// SPDX-License-Identifier: MIT
// Helpers for the operations tests: items on disk as the tests see them, the sandbox's group
// file, and conditions that make the real tools or the disk fail.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "daemon/daemon_zel_helper.h"
#include "platform/log.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {

// What a test checks about an item: owner, group and the 07777 mode bits.
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

// The id of the group of that POSIX name in the sandbox's group file, or -1.
gid_t gidOfGroup(const SandboxRoot& root, const std::string& name);
// The members listed for that group in the sandbox's group file.
std::vector<std::string> membersOfGroup(const SandboxRoot& root, const std::string& name);

// Leaves a lock on the group file that the shadow tools cannot clear (it names no process), so
// that groupadd and gpasswd fail at once instead of retrying for a live holder.
class GroupFileLock {
 public:
  explicit GroupFileLock(const SandboxRoot& root);
  ~GroupFileLock();

 private:
  std::string mPath;
};

// Sets the immutable flag of an item, so that even root cannot change it, until destroyed.
class ImmutableItem {
 public:
  explicit ImmutableItem(std::string path);
  ~ImmutableItem();

 private:
  std::string mPath;
};

// Log lines match the patterns (POSIX extended regular expressions), one each, in order.
MATCHER_P(LinesMatch, patterns, "") {
  std::vector<::testing::Matcher<std::string>> matchers;
  for (const std::string& pattern : patterns)
    matchers.push_back(::testing::MatchesRegex(pattern));
  return ::testing::ExplainMatchResult(::testing::ElementsAreArray(matchers), arg, result_listener);
}

// Names the parameter of a parameterised test by its `name` field.
template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// Where the helper's operations run in this test executable: in this process (false), or in
// the real daemon, socket-activated on the sandbox root, through its proxy (true).
bool throughDaemon();

// A sandbox root and the helper, in this process or in the daemon; the log lines of both
// channels; and callers other than root.
class OperationsTest : public ::testing::Test {
 public:
  std::string scratch(const std::string& relative) const {
    return mRoot.scratch() + "/" + relative;
  }
  // The helper, called as this process (root).
  ZelHelper& helper();
  // Runs `request` for a caller with `uid` (root or a sandbox user): in-process inside a
  // CallerScope with its own reason slot (so lastReason answers), through the daemon from a
  // forked child that dropped to that uid and connects on its own.
  bool asCaller(uid_t uid, const std::function<bool(ZelHelper&)>& request);
  // The group step for `user` and `group`: putUser in-process; through the daemon,
  // permitAccessToPath on an existing file, which logs nothing of its own.
  bool groupStep(const std::string& user, const std::string& group);

  // The lines each channel received (NSLog lines without their timestamp and process), without
  // the audit lines, which auditLines() gives for both channels.
  std::vector<std::string> systemLines() const;
  std::vector<std::string> nsLines() const;
  std::vector<std::string> auditLines() const;

 protected:
  SandboxRoot mRoot;

 private:
  std::vector<std::string> daemonLines(bool nsLog) const;

  LogCapture mSystemLog{LogChannel::kSystemLog};
  LogCapture mNSLog{LogChannel::kNSLog};
  DaemonZelHelper mHelper;
  std::unique_ptr<DaemonHarness> mDaemon;
  std::shared_ptr<ZelHelper> mProxy;
};

}  // namespace zel::test
