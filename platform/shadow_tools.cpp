// SPDX-License-Identifier: MIT
#include "platform/shadow_tools.h"

#include <fmt/format.h>

#include "platform/command.h"

namespace zel {
namespace {

// The tool's message as one line: its lines joined with spaces.
std::string oneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() != ' ')
        line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ')
    line.pop_back();
  return line;
}

}  // namespace

std::optional<CommitError> runShadowTool(std::string_view tool,
                                         const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{std::string(tool)};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const CommandResult result = runCommand(argv, ToolOutput::kErrorOnly);
  if (result.succeeded())
    return std::nullopt;
  if (result.startError != 0)
    return CommitError{result.output, result.startError};
  if (result.signal != 0)
    return CommitError{fmt::format("{} ended by signal {}", tool, result.signal),
                       result.exitStatus};
  std::string message = oneLine(result.output);
  if (message.empty())
    message = fmt::format("{} failed", tool);
  return CommitError{message, result.exitStatus};
}

}  // namespace zel
