// SPDX-License-Identifier: MIT
// A sandbox root with the stand-in systemctl first on PATH, for tests that install, replace
// and remove the helper job, and the means to look at that job.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/systemd_units.h"
#include "resources/labels.h"
#include "tests/client/systemctl_on_path.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {

class InstalledHelperTest : public testing::Test {
 protected:
  // Removes whatever job the test left installed, so that no daemon outlives it.
  void TearDown() override;

  // Installs, by hand, and enables a job whose daemon answers `version` with `version`: an old
  // helper, or with its units in `unitDirectory` = "usr/lib/systemd/system", a package's.
  void installFakeHelper(uint32_t version, const std::string& unitDirectory = "etc/systemd/system");
  // The process id of the job's daemon (or of its activator, before the first connection).
  std::optional<pid_t> jobPid() const;

  SandboxRoot mRoot;
  SystemctlOnPath mSystemctl{SystemctlOnPath::Kind::kStandIn, mRoot.scratch()};
  HelperJobFiles mFiles = helperJobFiles(kHelperLabel);
};

// True once the process has ended (a zombie counts: it no longer runs).
bool processEnded(pid_t pid);

}  // namespace zel::test
