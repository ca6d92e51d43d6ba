// SPDX-License-Identifier: MIT
#include "platform/consent_channel.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/fd_io.h"
#include "resources/labels.h"

namespace zel {
namespace {

// pkexec's own exit statuses (pkexec(1)).
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

OSStatus refusalStatus(const CommandResult& pkexec, std::string_view errors) {
  if (pkexec.startError != 0)
    return errAuthorizationInternal;
  if (pkexec.exitStatus == kPkexecDismissed)
    return errAuthorizationCanceled;
  if (pkexec.exitStatus == kPkexecNotAuthorized) {
    if (errors.find("No authentication agent found") != std::string_view::npos ||
        errors.find("Error creating textual authentication agent") != std::string_view::npos)
      return errAuthorizationInteractionNotAllowed;
    if (errors.find("Not authorized") != std::string_view::npos)
      return errAuthorizationDenied;
  }
  return errAuthorizationInternal;
}

std::string sendLine(int fd, std::string_view line) {
  std::string data = fmt::format("{}\n", line);
  std::string_view rest = data;
  while (!rest.empty()) {
    const ssize_t sent = send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR)
      continue;
    if (sent <= 0)
      return std::strerror(errno);
    rest.remove_prefix(static_cast<size_t>(sent));
  }
  return {};
}

}  // namespace

OSStatus ConsentChannel::open(AuthorizationFlags flags, std::unique_ptr<ConsentChannel>* channel) {
  channel->reset();
  std::optional<std::string> command = findTool("zelhelper");
  if (!command)
    return errAuthorizationInternal;
  std::vector<std::string> argv{"pkexec"};
  if ((flags & kAuthorizationFlagInteractionAllowed) == 0)
    argv.emplace_back("--disable-internal-agent");
  argv.push_back(*command);
  argv.emplace_back(kConsentStepsCommand);
  StartedCommand started;
  if (std::optional<CommandResult> failed = startCommand(argv, started))
    return refusalStatus(*failed, "");

  std::unique_ptr<ConsentChannel> opened(new ConsentChannel(std::move(started)));
  if (readLine(opened->mRootSide.conversation.get(), kConsentLineLimit) == kConsentReady) {
    opened->mRootSide.errors.reset();
    *channel = std::move(opened);
    return errAuthorizationSuccess;
  }
  opened->mRootSide.conversation.reset();
  std::string errors;
  readAll(opened->mRootSide.errors.get(), errors);
  return refusalStatus(opened->end(), errors);
}

ConsentChannel::~ConsentChannel() {
  end();
}

std::string ConsentChannel::perform(std::string_view step) {
  const int fd = mRootSide.conversation.get();
  if (fd < 0)
    return "the root side has ended";
  if (std::string problem = sendLine(fd, step); !problem.empty()) {
    end();
    return fmt::format("cannot send the step to the root side: {}", problem);
  }
  std::optional<std::string> answer = readLine(fd, kConsentLineLimit);
  if (answer == kConsentDone)
    return {};
  if (answer && answer->starts_with(kConsentFailedPrefix) &&
      answer->size() > kConsentFailedPrefix.size())
    return answer->substr(kConsentFailedPrefix.size());
  CommandResult ended = end();
  return fmt::format("the root side gave no answer to \"{}\" (exit status {})", step,
                     ended.exitStatus);
}

CommandResult ConsentChannel::end() {
  mRootSide.conversation.reset();
  mRootSide.errors.reset();
  if (mRootSide.pid < 0)
    return {0, ""};
  return waitForCommand(std::exchange(mRootSide.pid, -1));
}

}  // namespace zel
