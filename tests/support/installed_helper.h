// SPDX-License-Identifier: MIT
// For tests that install, replace and remove the helper job: the stand-in systemctl and pkexec
// first on PATH while it lives, so that no test reaches the machine's own, and a fixture with a
// sandbox root and the stand-ins. Executables that install link zel_helper_test_main, a helper too.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/systemd_units.h"
#include "resources/labels.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {

class SystemctlOnPath {
 public:
  SystemctlOnPath();
  ~SystemctlOnPath() { setenv("PATH", mPreviousPath.c_str(), 1); }
  SystemctlOnPath(const SystemctlOnPath&) = delete;
  SystemctlOnPath& operator=(const SystemctlOnPath&) = delete;

 private:
  std::string mPreviousPath;
};

class InstalledHelperTest : public testing::Test {
 protected:
  // Removes whatever job the test left installed, so that no daemon outlives it.
  void TearDown() override;

  // Installs, by hand, and enables a job whose daemon (this executable) answers `version` with
  // `version`: an old helper, or with its units in "usr/lib/systemd/system", a package's.
  void installFakeHelper(uint32_t version, const std::string& unitDirectory = "etc/systemd/system");
  // The process id of the job's daemon (or of its activator, before the first connection).
  std::optional<pid_t> jobPid() const;

  SandboxRoot mRoot;
  SystemctlOnPath mSystemctl;
  HelperJobFiles mFiles = helperJobFiles(kHelperLabel);
};

// True once the process has ended (a zombie counts: it no longer runs).
bool processEnded(pid_t pid);

}  // namespace zel::test
