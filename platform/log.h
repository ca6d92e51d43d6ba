// SPDX-License-Identifier: MIT
// The two log channels of the system.
//
// systemLog: the journal's native protocol (platform/journal.h) where its socket exists, with
// MESSAGE, PRIORITY, MESSAGE_ID, SYSLOG_IDENTIFIER (the program's short name), SYSLOG_FACILITY
// (LOG_USER), SYSLOG_PID and the event's fields; else, or when sending fails, syslog(3) at the
// event's priority with the default identity and facility. In a sandbox root (ZELHELPER_ROOT
// set) each line is also written to standard error, so that tests and the demo can read what
// the daemon logged.
// NSLog: one line on standard error, "YYYY-MM-DD hh:mm:ss.mmm name[pid] message". A line with
// an event (the daemon's) goes to the journal like a systemLog line instead, where it can: a
// service's standard error ends in the journal anyway, without the fields; in a sandbox root it
// is written to standard error as well.
//
// Every line is escaped at the sink (escapeForLog), in both channels and in captures alike, and
// so is every field value, so that a logged name can neither forge a line or a field nor
// disguise one.
//
// Messages are complete texts; callers format the system's printf-style messages with
// fmt::sprintf first. Any thread may log. While a LogCapture for a channel is alive, that
// channel's lines and events go to the capture instead of their destination.
#pragma once

#include <syslog.h>

#include <string>
#include <string_view>
#include <vector>

namespace zel {

enum class LogChannel { kSystemLog, kNSLog };

// A journal field of a line: its name (a string literal, such as "ZELHELPER_PATH") and value.
struct LogField {
  std::string_view name;
  std::string value;
};

// What a line carries beside its text: its kind (platform/message_ids.h; empty for none), its
// syslog(3) priority and its fields (those with empty values are not sent).
struct LogEvent {
  std::string_view messageId;
  int priority = LOG_NOTICE;
  std::vector<LogField> fields;
};

// `message` with control characters (C0, DEL, C1) and Unicode bidirectional-format characters
// written as escapes: a byte below 0x80 as "\x0a", any other character as "\u202e"; bytes that
// are not valid UTF-8 as "\xff". Everything else is kept as it is.
std::string escapeForLog(std::string_view message);

void systemLog(std::string_view message);
void NSLog(std::string_view message);
void systemLog(std::string_view message, const LogEvent& event);
void NSLog(std::string_view message, const LogEvent& event);
// systemLog or NSLog, as `channel` says.
void logLine(LogChannel channel, std::string_view message, const LogEvent& event);

// Collects the lines of one channel for as long as it lives (tests). Captures nest: the
// newest one receives the lines.
class LogCapture {
 public:
  explicit LogCapture(LogChannel channel);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The escaped lines, and beside each its event (a plain line's is empty, at LOG_NOTICE).
  std::vector<std::string> lines() const;
  std::vector<LogEvent> events() const;

 private:
  friend void deliver(LogChannel channel, std::string_view message, const LogEvent* event);
  LogChannel mChannel;
  LogCapture* mPrevious;
  std::vector<std::string> mLines;
  std::vector<LogEvent> mEvents;
};

}  // namespace zel
