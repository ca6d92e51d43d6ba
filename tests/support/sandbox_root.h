// SPDX-License-Identifier: MIT
// A temporary system root for tests: a world-searchable directory (unprivileged test processes
// reach paths below it) that ZELHELPER_ROOT points at while the SandboxRoot lives, holding
// etc/group, etc/passwd, etc/shadow, etc/gshadow and run/; the machine's own files stay untouched.
// One SandboxRoot at a time per process (it owns the ZELHELPER_ROOT variable).
#pragma once

#include <sys/types.h>

#include <string>

namespace zel::test {

// A local user that the sandbox's etc/passwd knows. The uids are not used on the machine.
struct SandboxUser {
  const char* name;
  uid_t uid;
  gid_t gid;  // primary group, named like the user
};

inline constexpr SandboxUser kAlice{"alice", 4242, 4242};
inline constexpr SandboxUser kBob{"bob", 4243, 4243};

class SandboxRoot {
 public:
  // Creates the root with root, alice and bob and their primary groups, and sets ZELHELPER_ROOT.
  SandboxRoot();
  // Removes the whole tree and unsets ZELHELPER_ROOT.
  ~SandboxRoot();
  SandboxRoot(const SandboxRoot&) = delete;
  SandboxRoot& operator=(const SandboxRoot&) = delete;

  const std::string& path() const { return mPath; }
  // `relative` (no leading slash) under the root.
  std::string at(const std::string& relative) const { return mPath + "/" + relative; }
  // A fresh world-writable, sticky scratch directory under the root for request paths.
  std::string scratch() const { return at("scratch"); }

  std::string readFile(const std::string& relative) const;
  void writeFile(const std::string& relative, const std::string& contents) const;

 private:
  std::string mPath;
};

}  // namespace zel::test
