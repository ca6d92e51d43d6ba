// SPDX-License-Identifier: MIT
// Runs a system tool (systemctl, groupadd, gpasswd, ...) to completion: the one way this
// project starts another program.
//
// argv[0] is the tool's bare name. Outside a sandbox root (platform/system_root.h) it is looked
// up in the system's own directories only (/usr/sbin, /usr/bin, /sbin, /bin) and runs with a
// fixed environment (that PATH and LC_ALL=C), so that nothing the invoking user set (PATH,
// LD_PRELOAD, locale files) reaches a tool that runs as root. In a sandbox root, where tests and
// the tour put stand-ins first on PATH, the invoking PATH is searched first and the environment
// is passed on (the stand-ins read ZELHELPER_ROOT from it).
//
// runCommand's tool reads nothing (standard input is /dev/null); startCommand's converses with
// the caller over a socket. Neither inherits a descriptor beyond 0 to 2. runCommand and
// waitForCommand block the calling thread until the tool has exited; the caller must not ignore
// SIGCHLD.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace zel {

enum class ToolOutput {
  kCombined,   // standard output and standard error, together
  kErrorOnly,  // standard error; standard output goes to /dev/null
};

struct CommandResult {
  // The exit status; 128 + the signal number when a signal ended it; 127 when it could not be
  // started (as a shell would say).
  int exitStatus;
  // What the tool wrote, with trailing newlines removed; when it could not be started, why.
  std::string output;
  // The signal that ended it, or 0.
  int signal = 0;
  // The errno value when it could not be started or waited for (ENOENT: no such tool), or 0.
  int startError = 0;

  bool succeeded() const { return exitStatus == 0 && startError == 0; }
};

CommandResult runCommand(const std::vector<std::string>& argv,
                         ToolOutput collected = ToolOutput::kCombined);

// A tool started by startCommand. The caller owns both descriptors, and must wait for the
// process (waitForCommand) once it has ended the conversation, or the tool lingers as a zombie.
struct StartedCommand {
  pid_t pid = -1;
  // A stream socket that is the tool's standard input and output: write to it with
  // send(MSG_NOSIGNAL), so that a tool that has exited raises no SIGPIPE in the caller, and end
  // the tool's input with shutdown(SHUT_WR) or by closing it.
  UniqueFd conversation;
  UniqueFd errors;  // read end of a pipe that is the tool's standard error
};

// Starts `argv` as runCommand would, for a conversation. When the tool cannot be started,
// answers the CommandResult that says why and leaves `started` empty; otherwise nothing.
std::optional<CommandResult> startCommand(const std::vector<std::string>& argv,
                                          StartedCommand& started);

// Waits for a started tool to exit; `output` becomes the result's output.
CommandResult waitForCommand(pid_t pid, std::string output = {});

// The program that runs for the tool name `tool`, as runCommand looks it up, or nothing.
std::optional<std::string> findTool(const std::string& tool);

// "name arg1 arg2", for messages.
std::string commandLine(const std::vector<std::string>& argv);

}  // namespace zel
