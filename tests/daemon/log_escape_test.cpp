// Every logged line is escaped at the sink: a name that holds a newline cannot forge a line, and
// one with terminal or bidirectional controls cannot disguise itself.
#include <gtest/gtest.h>

#include "platform/log.h"

namespace zel {
namespace {

struct Escape {
  const char* name;
  std::string logged;
  std::string written;
};

void PrintTo(const Escape& escape, std::ostream* out) {
  *out << escape.name;
}

class LogEscaping : public ::testing::TestWithParam<Escape> {};

TEST_P(LogEscaping, InEveryChannel) {
  for (LogChannel channel : {LogChannel::kSystemLog, LogChannel::kNSLog}) {
    LogCapture capture(channel);
    (channel == LogChannel::kSystemLog ? systemLog : NSLog)(GetParam().logged);
    EXPECT_EQ(capture.lines(), std::vector<std::string>{GetParam().written});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Characters, LogEscaping,
    ::testing::Values(
        Escape{"PlainAndNonAscii", "/srv/zel/Café 日本", "/srv/zel/Café 日本"},
        Escape{"ForgedLine", "/tmp/a\nZelHelper refused", "/tmp/a\\x0aZelHelper refused"},
        Escape{"CarriageReturnTabEscape", "a\rb\tc\x1b[2J", "a\\x0db\\x09c\\x1b[2J"},
        Escape{"NulAndDelete", std::string("a\0b\x7f", 4), "a\\x00b\\x7f"},
        Escape{"C1Controls", "a\u0085b\u009bc\u00a0", "a\\u0085b\\u009bc\u00a0"},
        Escape{"BidiOverrides", "x\u202egpj.exe\u202c", "x\\u202egpj.exe\\u202c"},
        Escape{"BidiMarksAndIsolates", "\u061c\u200e\u200f\u202a\u2066\u2069\u2067\u2068",
               "\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069\\u2067\\u2068"},
        Escape{"NeighboursKept", "\u200d\u2065\u206a\u2029", "\u200d\u2065\u206a\u2029"},
        Escape{"InvalidUtf8Bytes", "a\x9b\xc0\xaf\xe2\x82", "a\\x9b\\xc0\\xaf\\xe2\\x82"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel
