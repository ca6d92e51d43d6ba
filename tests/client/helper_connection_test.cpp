// SPDX-License-Identifier: MIT
// The proxy against a scripted stand-in for the daemon: it connects again to a connection found
// closed before sending, never sends a request twice, and waits for a reply only so long.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "client/helper_proxy.h"
#include "platform/log.h"
#include "tests/protocol/raw_client.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

enum class Script {
  kCloseAtOnce,     // as the daemon closing an idle connection
  kAnswer,          // answers every call until the client hangs up
  kCloseOnRequest,  // closes on the first call unanswered, as older helpers do on lastReason
  kSilent,          // reads one call and never answers
};
using enum Script;

// Serves one connection after another, the nth by scripts[n] (then kAnswer).
struct ScriptedHelper {
  ScriptedHelper(const std::string& socketPath, std::vector<Script> scripts)
      : listenFd(listenAt(socketPath)), thread([this, scripts] {
          for (std::size_t next = 0;; ++next) {
            const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
              return;
            RawClient peer(fd);
            const Script script = next < scripts.size() ? scripts[next] : kAnswer;
            for (std::optional<std::string> call;
                 script != kCloseAtOnce && (call = peer.reply());) {
              ++requests;
              if (script == kSilent)
                peer.reply();  // until the client gives up and hangs up
              if (script != kAnswer)
                break;
              peer.send(static_cast<remote::Op>(call->at(0)) == remote::Op::kLastReason
                            ? remote::encodeReply<remote::Op::kLastReason>("because")
                            : remote::encodeReply<remote::Op::kVersion>(3));
            }
            peer.close();
            ++closed;
            closed.notify_all();
          }
        }) {}
  ~ScriptedHelper() {
    shutdown(listenFd, SHUT_RDWR);
    thread.join();
    close(listenFd);
  }

  std::atomic<int> requests{0}, closed{0};
  int listenFd;
  std::thread thread;
};

struct Conversation {
  const char* name;
  std::vector<Script> scripts;  // one per connection, in order
  std::string calls;            // 'v' version, 'r' lastReason
  std::vector<std::string> answers;
  int requests;  // calls the stand-in received
  bool connected;
  std::size_t noReplyLines = 0;  // "no reply from the helper" lines logged
  friend void PrintTo(const Conversation& c, std::ostream* out) { *out << c.name; }
};

class ProxyConnection : public ::testing::TestWithParam<Conversation> {};

TEST_P(ProxyConnection, SendsEachRequestAtMostOnce) {
  const Conversation& conversation = GetParam();
  SandboxRoot root;
  LogCapture log(LogChannel::kNSLog);
  ScriptedHelper helper(root.at("helper.sock"), conversation.scripts);
  // Only a conversation about the reply limit waits it out; a short limit for the others would
  // make their answers depend on how soon a loaded machine lets the stand-in reply.
  const auto replyTimeout =
      conversation.noReplyLines > 0 ? 100ms : HelperConnection::Options{}.replyTimeout;
  HelperProxy proxy(HelperConnection::open(root.at("helper.sock"), {.replyTimeout = replyTimeout}));
  if (conversation.scripts.front() == kCloseAtOnce)
    helper.closed.wait(0);
  std::vector<std::string> answers;
  for (char call : conversation.calls)
    answers.push_back(call == 'v' ? std::to_string(proxy.version()) : proxy.lastReason());
  EXPECT_EQ(answers, conversation.answers);
  EXPECT_EQ(helper.requests, conversation.requests);
  EXPECT_EQ(proxy.connected(), conversation.connected);
  EXPECT_EQ(log.lines().size(), conversation.noReplyLines);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ProxyConnection,
    ::testing::Values(
        Conversation{
            "ClosedBeforeSendingOpensAgain", {kCloseAtOnce}, "vr", {"3", "because"}, 2, true},
        Conversation{"OnlyOnce", {kCloseAtOnce, kCloseAtOnce}, "v", {"0"}, 0, false},
        // Unanswered, lastReason leaves the proxy connected.
        Conversation{"SentIsNeverSentAgain", {kCloseOnRequest}, "rv", {"", "3"}, 2, true},
        Conversation{"ReplyAwaitedForItsLimit", {kSilent}, "vv", {"0", "3"}, 2, false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel::test
