// Runs a tool to completion, the way the service layers call systemctl.
//
// The tool is found on PATH, inherits the environment, reads nothing (standard input is
// /dev/null) and has its standard output and standard error collected together. The call
// blocks the calling thread until the tool has exited.
#pragma once

#include <string>
#include <vector>

namespace zel {

struct CommandResult {
  // The exit status; 128 + the signal number when a signal ended it; 127 when it could not
  // be started (as a shell would say).
  int exitStatus;
  // Everything the tool wrote, with trailing newlines removed.
  std::string output;

  bool succeeded() const { return exitStatus == 0; }
};

CommandResult runCommand(const std::vector<std::string>& argv);

// "name arg1 arg2", for messages.
std::string commandLine(const std::vector<std::string>& argv);

}  // namespace zel
