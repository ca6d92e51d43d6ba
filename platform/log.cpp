#include "platform/log.h"

#include <sys/time.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include <fmt/format.h>

#include "platform/system_root.h"

namespace zel {
namespace {

std::mutex gMutex;
LogCapture* gCaptures[2] = {nullptr, nullptr};

LogCapture*& captureFor(LogChannel channel) {
  return gCaptures[static_cast<int>(channel)];
}

std::string timestamp() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return fmt::format("{}.{:03d}", text, static_cast<int>(now.tv_usec / 1000));
}

void writeStderr(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void deliver(LogChannel channel, std::string_view message) {
  std::lock_guard lock(gMutex);
  if (LogCapture* capture = captureFor(channel)) {
    capture->mLines.emplace_back(message);
    return;
  }
  if (channel == LogChannel::kSystemLog) {
    syslog(LOG_NOTICE, "%.*s", static_cast<int>(message.size()), message.data());
    if (inSandboxRoot())
      writeStderr(fmt::format("{}\n", message));
  } else {
    writeStderr(fmt::format("{} {}[{}] {}\n", timestamp(), program_invocation_short_name, getpid(),
                            message));
  }
}

void systemLog(std::string_view message) {
  deliver(LogChannel::kSystemLog, message);
}
void NSLog(std::string_view message) {
  deliver(LogChannel::kNSLog, message);
}

LogCapture::LogCapture(LogChannel channel) : mChannel(channel) {
  std::lock_guard lock(gMutex);
  mPrevious = captureFor(channel);
  captureFor(channel) = this;
}

LogCapture::~LogCapture() {
  std::lock_guard lock(gMutex);
  captureFor(mChannel) = mPrevious;
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard lock(gMutex);
  return mLines;
}

}  // namespace zel
