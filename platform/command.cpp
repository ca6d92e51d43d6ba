// SPDX-License-Identifier: MIT
#include "platform/command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "platform/fd_io.h"
#include "platform/system_root.h"
#include "platform/unique_fd.h"

extern char** environ;

namespace zel {
namespace {

constexpr std::string_view kSystemDirectories = "/usr/sbin:/usr/bin:/sbin:/bin";

std::optional<std::string> findIn(std::string_view directories, const std::string& tool) {
  while (!directories.empty()) {
    const size_t colon = directories.find(':');
    const std::string_view directory = directories.substr(0, colon);
    directories = colon == std::string_view::npos ? "" : directories.substr(colon + 1);
    if (directory.empty() || directory.front() != '/')
      continue;
    std::string candidate = fmt::format("{}/{}", directory, tool);
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::nullopt;
}

// What the tool wrote, as far as it could be read.
std::string outputOf(int fd) {
  std::string text;
  readAll(fd, text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}

CommandResult notStarted(int error, std::string why) {
  return {127, std::move(why), 0, error};
}

// Spawns argv[0] with `actions` applied; answers why it could not, or nothing.
std::optional<CommandResult> spawn(const std::vector<std::string>& argv,
                                   posix_spawn_file_actions_t& actions, pid_t& pid) {
  const std::optional<std::string> path = findTool(argv.at(0));
  if (!path)
    return notStarted(ENOENT, fmt::format("{} not found in {}", argv[0], kSystemDirectories));
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::string pathVariable = fmt::format("PATH={}", kSystemDirectories);
  std::string locale = "LC_ALL=C";
  char* fixedEnvironment[] = {pathVariable.data(), locale.data(), nullptr};
  const int spawnError = posix_spawn(&pid, path->c_str(), &actions, nullptr, args.data(),
                                     inSandboxRoot() ? environ : fixedEnvironment);
  if (spawnError != 0)
    return notStarted(spawnError,
                      fmt::format("cannot run {}: {}", *path, std::strerror(spawnError)));
  return std::nullopt;
}

// A pipe whose ends are both closed on exec: the child gets its end through dup2 only.
std::optional<CommandResult> makePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return notStarted(errno, fmt::format("cannot create a pipe: {}", std::strerror(errno)));
  readEnd = UniqueFd(fds[0]);
  writeEnd = UniqueFd(fds[1]);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> findTool(const std::string& tool) {
  if (tool.find('/') != std::string::npos)
    return std::nullopt;
  if (inSandboxRoot()) {
    if (const char* path = std::getenv("PATH"))
      if (auto found = findIn(path, tool))
        return found;
  }
  return findIn(kSystemDirectories, tool);
}

CommandResult runCommand(const std::vector<std::string>& argv, ToolOutput collected) {
  UniqueFd readEnd, writeEnd;
  if (auto failed = makePipe(readEnd, writeEnd))
    return *failed;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (collected == ToolOutput::kErrorOnly)
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  else
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDERR_FILENO);
  pid_t pid = 0;
  std::optional<CommandResult> failed = spawn(argv, actions, pid);
  posix_spawn_file_actions_destroy(&actions);
  writeEnd.reset();
  if (failed)
    return *failed;
  return waitForCommand(pid, outputOf(readEnd.get()));
}

std::optional<CommandResult> startCommand(const std::vector<std::string>& argv,
                                          StartedCommand& started) {
  int sockets[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
    return notStarted(errno, fmt::format("cannot create a socket pair: {}", std::strerror(errno)));
  UniqueFd ours(sockets[0]), theirs(sockets[1]);
  UniqueFd errorsRead, errorsWrite;
  if (auto failed = makePipe(errorsRead, errorsWrite))
    return failed;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, theirs.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, theirs.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errorsWrite.get(), STDERR_FILENO);
  pid_t pid = 0;
  std::optional<CommandResult> failed = spawn(argv, actions, pid);
  posix_spawn_file_actions_destroy(&actions);
  if (failed)
    return failed;
  started.pid = pid;
  started.conversation = std::move(ours);
  started.errors = std::move(errorsRead);
  return std::nullopt;
}

CommandResult waitForCommand(pid_t pid, std::string output) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR)
      return notStarted(errno,
                        fmt::format("cannot wait for process {}: {}", pid, std::strerror(errno)));
  }
  if (WIFSIGNALED(status))
    return {128 + WTERMSIG(status), std::move(output), WTERMSIG(status), 0};
  return {WEXITSTATUS(status), std::move(output), 0, 0};
}

std::string commandLine(const std::vector<std::string>& argv) {
  return fmt::format("{}", fmt::join(argv, " "));
}

}  // namespace zel
