// SPDX-License-Identifier: MIT
// The fixture of the daemon's tests: a sandbox root with the real daemon socket-activated on it,
// callers other than root as real processes of their uid, and the daemon's log lines by channel.
// Every test of an executable that links this also leaves the machine's own identity files as
// they were.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>

#include "protocol/zel_helper.h"
#include "tests/platform/items.h"
#include "tests/support/daemon_harness.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {

// Log lines match the patterns (POSIX extended regular expressions), one a line of `text`, in
// order; an empty text matches no lines.
MATCHER_P(LinesMatch, text, "") {
  std::vector<::testing::Matcher<std::string>> matchers;
  std::istringstream patterns{std::string(text)};
  for (std::string pattern; std::getline(patterns, pattern);)
    matchers.push_back(::testing::MatchesRegex(pattern));
  return ::testing::ExplainMatchResult(::testing::ElementsAreArray(matchers), arg, result_listener);
}

enum class Op { kCreateFile, kCreateDirectory, kPermitAccess, kSetPrivileges };  // in this order
// For setPrivileges, `group` is the octal-looking number's text, and the answer false: only the
// reason tells.
bool call(ZelHelper& helper, Op op, const std::string& path, const std::string& user,
          const std::string& group);

class DaemonTest : public ::testing::Test {
 public:
  // `path` below the scratch directory; an absolute or empty path stays as it is.
  std::string scratch(const std::string& path) const {
    return path.starts_with("/") || path.empty() ? path : mRoot.scratch() + "/" + path;
  }
  // A proxy of root's, connected on first use (which starts the daemon).
  ZelHelper& helper();
  // Runs `request` on a proxy of a caller with `uid` (root, alice or bob); for alice and bob in a
  // forked child that dropped to that uid and connects on its own.
  bool asCaller(uid_t uid, const std::function<bool(ZelHelper&)>& request);

  // The daemon's lines of a channel (NSLog lines without their timestamp and process); the audit
  // lines of both channels are kAudit's alone.
  enum class Channel { kSystemLog, kNSLog, kAudit };
  std::vector<std::string> lines(Channel channel) const;

  // What a request that changes nothing leaves as it was: the items below the scratch directory,
  // the group file, the helper's record and the audit lines.
  using Footprint = std::tuple<std::map<std::string, ItemStatus>, std::string, std::string,
                               std::vector<std::string>>;
  Footprint footprint() const;

 protected:
  SandboxRoot mRoot;
  DaemonHarness mDaemon{mRoot};

 private:
  std::shared_ptr<ZelHelper> mProxy;
};

}  // namespace zel::test
