// SPDX-License-Identifier: MIT
// Runs the shadow tools that write the group database (groupadd, gpasswd), which take the
// database's own locks. The tool is looked up in the system directories only, runs with a fixed
// environment (C locale, so that its messages are stable) and no standard input; its standard
// error is collected for the error. Blocks until the tool exits. The caller must not ignore
// SIGCHLD.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// A failed write to the identity authority: the tool's message (its standard error, as one line)
// and its exit status, or an errno value when the failure is not the tool's.
struct CommitError {
  std::string description;
  long code;
};

// Nothing when the tool ran and exited with status 0.
std::optional<CommitError> runShadowTool(std::string_view tool,
                                         const std::vector<std::string>& arguments);

}  // namespace zel
