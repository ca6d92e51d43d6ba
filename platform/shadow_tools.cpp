#include "platform/shadow_tools.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "platform/unique_fd.h"

namespace zel {
namespace {

constexpr const char* kToolDirectories[] = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};

std::optional<std::string> toolPath(std::string_view tool) {
  for (const char* directory : kToolDirectories) {
    std::string candidate = fmt::format("{}/{}", directory, tool);
    if (access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::nullopt;
}

std::string readAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return text;
    text.append(buffer, static_cast<size_t>(got));
  }
}

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
  std::optional<std::string> path = toolPath(tool);
  if (!path)
    return CommitError{fmt::format("{} not found in {}", tool, fmt::join(kToolDirectories, ":")),
                       ENOENT};

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return CommitError{fmt::format("cannot run {}: {}", tool, std::strerror(errno)), errno};
  UniqueFd readEnd(pipeFds[0]);
  UniqueFd writeEnd(pipeFds[1]);

  std::vector<char*> argv;
  std::string name(tool);
  argv.push_back(name.data());
  std::vector<std::string> copies = arguments;
  for (std::string& argument : copies)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::string pathVariable = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
  std::string locale = "LC_ALL=C";
  char* envp[] = {pathVariable.data(), locale.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 2);
  // The daemon's sockets are none of the tool's business.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  int spawnError = posix_spawn(&pid, path->c_str(), &actions, nullptr, argv.data(), envp);
  posix_spawn_file_actions_destroy(&actions);
  writeEnd.reset();
  if (spawnError != 0)
    return CommitError{fmt::format("cannot run {}: {}", *path, std::strerror(spawnError)),
                       spawnError};

  std::string message = oneLine(readAll(readEnd.get()));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR)
      return CommitError{fmt::format("cannot wait for {}: {}", tool, std::strerror(errno)), errno};
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
    return std::nullopt;
  if (WIFSIGNALED(status))
    return CommitError{fmt::format("{} ended by signal {}", tool, WTERMSIG(status)),
                       128 + WTERMSIG(status)};
  if (message.empty())
    message = fmt::format("{} failed", tool);
  return CommitError{message, WEXITSTATUS(status)};
}

}  // namespace zel
