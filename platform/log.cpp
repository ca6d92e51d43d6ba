// SPDX-License-Identifier: MIT
#include "platform/log.h"

#include <sys/time.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "platform/journal.h"
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

// The code point of the UTF-8 sequence at the start of `text` and its length, or nullopt when
// the bytes there are not valid UTF-8 (the wire admits only valid UTF-8, but the log takes any
// text).
std::optional<std::pair<char32_t, std::size_t>> decodeUtf8(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  char32_t point;
  char32_t smallest;
  if (lead < 0x80)
    return std::pair{char32_t{lead}, std::size_t{1}};
  if ((lead & 0xe0) == 0xc0) {
    length = 2, point = lead & 0x1f, smallest = 0x80;
  } else if ((lead & 0xf0) == 0xe0) {
    length = 3, point = lead & 0x0f, smallest = 0x800;
  } else if ((lead & 0xf8) == 0xf0) {
    length = 4, point = lead & 0x07, smallest = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() < length)
    return std::nullopt;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80)
      return std::nullopt;
    point = (point << 6) | (byte(i) & 0x3f);
  }
  if (point < smallest || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
    return std::nullopt;
  return std::pair{point, length};
}

// Characters that would let a logged name end the line early, rewrite it on a terminal or
// reorder it on screen.
bool mustEscape(char32_t point) {
  return point < 0x20 || (point >= 0x7f && point <= 0x9f) || point == 0x061c || point == 0x200e ||
         point == 0x200f || (point >= 0x202a && point <= 0x202e) ||
         (point >= 0x2066 && point <= 0x2069);
}

void writeStderr(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

// The line as the journal takes it; false when it did not.
bool sendLine(std::string_view message, const LogEvent& event) {
  const std::string priority = std::to_string(event.priority);
  const std::string pid = std::to_string(getpid());
  std::vector<JournalField> fields{{"MESSAGE", message},
                                   {"PRIORITY", priority},
                                   {"MESSAGE_ID", event.messageId},
                                   {"SYSLOG_IDENTIFIER", program_invocation_short_name},
                                   {"SYSLOG_FACILITY", "1"},  // LOG_USER, syslog's default
                                   {"SYSLOG_PID", pid}};
  for (const LogField& field : event.fields)
    fields.emplace_back(field.name, field.value);
  return sendToJournal(fields);
}

}  // namespace

std::string escapeForLog(std::string_view message) {
  std::string escaped;
  escaped.reserve(message.size());
  while (!message.empty()) {
    const auto decoded = decodeUtf8(message);
    if (!decoded) {
      escaped += fmt::format("\\x{:02x}", static_cast<unsigned char>(message[0]));
      message.remove_prefix(1);
      continue;
    }
    const auto [point, length] = *decoded;
    if (!mustEscape(point))
      escaped.append(message.substr(0, length));
    else if (point < 0x80)
      escaped += fmt::format("\\x{:02x}", static_cast<unsigned>(point));
    else
      escaped += fmt::format("\\u{:04x}", static_cast<unsigned>(point));
    message.remove_prefix(length);
  }
  return escaped;
}

void deliver(LogChannel channel, std::string_view text, const LogEvent* given) {
  const std::string escaped = escapeForLog(text);
  const std::string_view message = escaped;
  LogEvent event;
  if (given != nullptr) {
    event.messageId = given->messageId;
    event.priority = given->priority;
    for (const LogField& field : given->fields)
      event.fields.push_back({field.name, escapeForLog(field.value)});
  }
  std::lock_guard lock(gMutex);
  if (LogCapture* capture = captureFor(channel)) {
    capture->mLines.emplace_back(message);
    capture->mEvents.push_back(std::move(event));
    return;
  }
  if (channel == LogChannel::kSystemLog) {
    if (!sendLine(message, event))
      syslog(event.priority, "%.*s", static_cast<int>(message.size()), message.data());
    if (inSandboxRoot())
      writeStderr(fmt::format("{}\n", message));
  } else if (given == nullptr || !sendLine(message, event) || inSandboxRoot()) {
    writeStderr(fmt::format("{} {}[{}] {}\n", timestamp(), program_invocation_short_name, getpid(),
                            message));
  }
}

void systemLog(std::string_view message) {
  deliver(LogChannel::kSystemLog, message, nullptr);
}
void NSLog(std::string_view message) {
  deliver(LogChannel::kNSLog, message, nullptr);
}
void systemLog(std::string_view message, const LogEvent& event) {
  deliver(LogChannel::kSystemLog, message, &event);
}
void NSLog(std::string_view message, const LogEvent& event) {
  deliver(LogChannel::kNSLog, message, &event);
}
void logLine(LogChannel channel, std::string_view message, const LogEvent& event) {
  deliver(channel, message, &event);
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

std::vector<LogEvent> LogCapture::events() const {
  std::lock_guard lock(gMutex);
  return mEvents;
}

}  // namespace zel
