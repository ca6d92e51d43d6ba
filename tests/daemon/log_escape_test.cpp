// Every logged line is escaped at the sink: a name that holds a newline cannot forge a line, and
// one with terminal or bidirectional controls cannot disguise itself.
#include <gtest/gtest.h>

#include "platform/log.h"

namespace zel {
namespace {

using namespace std::string_literals;

TEST(LogEscaping, InEveryChannel) {
  // Non-ASCII text and the neighbours of escaped ranges are kept; a truncated sequence ends it.
  const std::string logged =
      "/srv/Café 日本\u00a0\u200d\u2065\u206a\u2029 a\nZelHelper\r\t\x1b[2J\0\x7f"
      "\u0085\u009bx\u202egpj.exe\u202c\u061c\u200e\u200f\u202a\u2066\u2069\u2067\u2068 "
      "\x9b\xc0\xaf\xe2\x82"s;
  const std::string written =
      "/srv/Café 日本\u00a0\u200d\u2065\u206a\u2029 a\\x0aZelHelper\\x0d\\x09\\x1b[2J\\x00\\x7f"
      "\\u0085\\u009bx\\u202egpj.exe\\u202c\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069\\u2067"
      "\\u2068 \\x9b\\xc0\\xaf\\xe2\\x82";
  for (LogChannel channel : {LogChannel::kSystemLog, LogChannel::kNSLog}) {
    LogCapture capture(channel);
    (channel == LogChannel::kSystemLog ? systemLog : NSLog)(logged);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{written});
  }
}

}  // namespace
}  // namespace zel
