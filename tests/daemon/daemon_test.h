// SPDX-License-Identifier: MIT
// The fixture of the daemon's tests: a sandbox root with the real daemon socket-activated on it,
// callers other than root as real processes of their uid, and the daemon's log lines by channel.
// Every test of an executable that links this also leaves the machine's own identity files as
// they were.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/full_name_record.h"
#include "protocol/zel_helper.h"
#include "tests/platform/items.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {

// Log lines match the patterns (POSIX extended regular expressions), one each, in order.
MATCHER_P(LinesMatch, patterns, "") {
  std::vector<::testing::Matcher<std::string>> matchers;
  for (const std::string& pattern : patterns)
    matchers.push_back(::testing::MatchesRegex(pattern));
  return ::testing::ExplainMatchResult(::testing::ElementsAreArray(matchers), arg, result_listener);
}

// The lines of `text` (none for an empty text).
std::vector<std::string> linesOf(std::string_view text);

// Adds groups to the group file (unless one of that name is there) and to the helper's record.
void addHelperGroups(const SandboxRoot& root, const std::vector<RecordedGroup>& groups);

enum class Op { kCreateFile, kCreateDirectory, kPermitAccess, kSetPrivileges };
// For setPrivileges, `group` is the octal-looking number's text, and the answer false: only the
// reason tells.
bool call(ZelHelper& helper, Op op, const std::string& path, const std::string& user,
          const std::string& group);

class DaemonTest : public ::testing::Test {
 public:
  // Throws when the activator does not listen.
  DaemonTest();
  std::string scratch(const std::string& relative) const {
    return mRoot.scratch() + "/" + relative;
  }
  // A proxy of root's, connected on first use (which starts the daemon).
  ZelHelper& helper();
  // Runs `request` on a proxy of a caller with `uid` (root, alice or bob); for alice and bob in a
  // forked child that dropped to that uid and connects on its own.
  bool asCaller(uid_t uid, const std::function<bool(ZelHelper&)>& request);
  // Root's group step for `user` and `group`: permitAccessToPath on an existing file, which logs
  // nothing of its own.
  bool groupStep(const std::string& user, const std::string& group);

  // The daemon's lines of each channel (NSLog lines without their timestamp and process),
  // without the audit lines, which auditLines() gives for both channels.
  std::vector<std::string> systemLines() const;
  std::vector<std::string> nsLines() const;
  std::vector<std::string> auditLines() const;

 protected:
  SandboxRoot mRoot;
  DaemonHarness mDaemon{mRoot};

 private:
  std::shared_ptr<ZelHelper> mProxy;
};

}  // namespace zel::test
