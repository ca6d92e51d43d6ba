// The two log channels of the system.
//
// systemLog: syslog(3) at LOG_NOTICE with the default identity and facility. In a sandbox root
// (ZELHELPER_ROOT set) each line is also written to standard error, so that tests and the demo
// can read what the daemon logged.
// NSLog: one line on standard error, "YYYY-MM-DD hh:mm:ss.mmm name[pid] message".
//
// Every line is escaped at the sink (escapeForLog), in both channels and in captures alike, so
// that a logged name can neither forge a line nor disguise one.
//
// Messages are complete texts; callers format the system's printf-style messages with
// fmt::sprintf first. Any thread may log. While a LogCapture for a channel is alive, that
// channel's lines go to the capture instead of their destination.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel {

enum class LogChannel { kSystemLog, kNSLog };

// `message` with control characters (C0, DEL, C1) and Unicode bidirectional-format characters
// written as escapes: a byte below 0x80 as "\x0a", any other character as "\u202e"; bytes that
// are not valid UTF-8 as "\xff". Everything else is kept as it is.
std::string escapeForLog(std::string_view message);

void systemLog(std::string_view message);
void NSLog(std::string_view message);

// Collects the lines of one channel for as long as it lives (tests). Captures nest: the
// newest one receives the lines.
class LogCapture {
 public:
  explicit LogCapture(LogChannel channel);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const;

 private:
  friend void deliver(LogChannel channel, std::string_view message);
  LogChannel mChannel;
  LogCapture* mPrevious;
  std::vector<std::string> mLines;
};

}  // namespace zel
