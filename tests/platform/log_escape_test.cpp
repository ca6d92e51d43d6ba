// SPDX-License-Identifier: MIT
// Every logged line is escaped at the sink: a name that holds a newline cannot forge a line, and
// one with terminal or bidirectional controls cannot disguise itself.
#include <sys/socket.h>
#include <sys/un.h>

#include <filesystem>
#include <sstream>

#include <gmock/gmock.h>

#include "daemon/caller.h"
#include "daemon/daemon_zel_helper.h"
#include "platform/log.h"
#include "platform/unique_fd.h"
#include "tests/support/sandbox_root.h"

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
    logLine(channel, logged, LogEvent{});
    EXPECT_EQ(capture.lines(), std::vector<std::string>{written});
  }
}

// A refusal reaches the journal's socket as one native entry whose field values are escaped like
// the message (its kind and priority the system test reads from the real journal).
TEST(LogEscaping, InJournalFields) {
  test::SandboxRoot root;
  std::filesystem::create_directories(root.at("run/systemd/journal"));
  const std::string socketPath = root.at("run/systemd/journal/socket");
  UniqueFd journal(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{AF_UNIX, {}};
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(journal.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  {
    CallerScope alice(Caller{test::kAlice.uid, test::kAlice.gid, 777});
    DaemonZelHelper helper;
    EXPECT_FALSE(helper.createDirectory("srv\nZelHelper", "alice", "Zel Home Users"));
  }
  char datagram[65536];
  const ssize_t size = recv(journal.get(), datagram, sizeof datagram, MSG_DONTWAIT);
  ASSERT_GT(size, 0);
  // Every line a field: no value breaks out of its own.
  std::istringstream entry(std::string(datagram, static_cast<std::size_t>(size)));
  for (std::string line; std::getline(entry, line);)
    EXPECT_NE(line.find('='), std::string::npos) << line;
  EXPECT_THAT(entry.str(), ::testing::HasSubstr("ZELHELPER_PATH=srv\\x0aZelHelper\n"));
  EXPECT_THAT(entry.str(), ::testing::HasSubstr("ZELHELPER_RULE=rule:path\n"));
}

}  // namespace
}  // namespace zel
