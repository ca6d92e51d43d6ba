// The proxy against a scripted stand-in for the daemon: it connects again when it finds its
// connection closed before sending, never sends a request twice, and waits for a reply only
// for its time limit.
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "client/helper_proxy.h"
#include "platform/log.h"
#include "tests/daemon/raw_client.h"
#include "tests/support/sandbox_root.h"

namespace zel::test {
namespace {

using namespace std::chrono_literals;

// What the stand-in does with one connection.
enum class Script {
  kCloseAtOnce,        // as the daemon closing an idle connection
  kAnswer,             // answers every call until the client hangs up
  kCloseOnRequest,     // reads one call and closes without an answer
  kCloseOnLastReason,  // as a helper from before lastReason
  kSilent,             // reads one call and never answers
};

// Serves one connection after another, the nth by scripts[n] (then kAnswer).
class ScriptedHelper {
 public:
  ScriptedHelper(const std::string& socketPath, std::vector<Script> scripts)
      : mScripts(std::move(scripts)), mListenFd(listenAt(socketPath)) {
    mThread = std::thread([this] {
      for (std::size_t next = 0;; ++next) {
        const int fd = accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
          return;
        converse(fd, next < mScripts.size() ? mScripts[next] : Script::kAnswer);
        close(fd);
        ++mClosed;
      }
    });
  }
  ~ScriptedHelper() {
    shutdown(mListenFd, SHUT_RDWR);
    mThread.join();
    close(mListenFd);
  }
  int requests() const { return mRequests; }
  void waitForClosed(int count) const {
    for (int i = 0; i < 5000 && mClosed < count; ++i)
      std::this_thread::sleep_for(1ms);
  }

 private:
  void converse(int fd, Script script) {
    wire::FrameAssembler in;
    std::string body;
    char buffer[512];
    while (script != Script::kCloseAtOnce) {
      ssize_t got = 1;
      while (got > 0 && in.next(body) != wire::FrameAssembler::Status::kComplete) {
        got = recv(fd, buffer, sizeof buffer, 0);
        in.append(std::string_view(buffer, got > 0 ? static_cast<std::size_t>(got) : 0));
      }
      if (got <= 0)
        return;
      ++mRequests;
      const bool lastReason = static_cast<remote::Op>(body.at(0)) == remote::Op::kLastReason;
      if (script == Script::kSilent)
        recv(fd, buffer, 1, 0);  // until the client gives up and hangs up
      if (script != Script::kAnswer && (script != Script::kCloseOnLastReason || lastReason))
        return;
      const std::string reply = lastReason ? remote::encodeReply<remote::Op::kLastReason>("because")
                                           : remote::encodeReply<remote::Op::kVersion>(3);
      send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
  }

  std::vector<Script> mScripts;
  int mListenFd;
  std::thread mThread;
  std::atomic<int> mRequests{0};
  std::atomic<int> mClosed{0};
};

struct Conversation {
  const char* name;
  std::vector<Script> scripts;  // one per connection, in order
  std::string calls;            // 'v' version, 'r' lastReason
  std::vector<std::string> answers;
  int requests;  // calls the stand-in received
  bool connected;
  const char* logged = nullptr;
};

void PrintTo(const Conversation& conversation, std::ostream* out) {
  *out << conversation.name;
}

class ProxyConnection : public ::testing::TestWithParam<Conversation> {
 protected:
  SandboxRoot mRoot;
};

TEST_P(ProxyConnection, SendsEachRequestAtMostOnce) {
  const Conversation& conversation = GetParam();
  LogCapture log(LogChannel::kNSLog);
  ScriptedHelper helper(mRoot.at("helper.sock"), conversation.scripts);
  auto connection = HelperConnection::open(mRoot.at("helper.sock"), {.replyTimeout = 100ms});
  ASSERT_NE(connection, nullptr);
  HelperProxy proxy(std::move(connection));
  if (conversation.scripts.front() == Script::kCloseAtOnce)
    helper.waitForClosed(1);
  std::vector<std::string> answers;
  for (char call : conversation.calls)
    answers.push_back(call == 'v' ? std::to_string(proxy.version()) : proxy.lastReason());
  EXPECT_EQ(answers, conversation.answers);
  EXPECT_EQ(helper.requests(), conversation.requests);
  EXPECT_EQ(proxy.connected(), conversation.connected);
  const auto lines = log.lines();
  ASSERT_EQ(lines.size(), conversation.logged ? 1u : 0u);
  EXPECT_TRUE(lines.empty() || lines[0].find(conversation.logged) != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, ProxyConnection,
    ::testing::Values(Conversation{"AConnectionClosedBeforeSendingIsOpenedAgain",
                                   {Script::kCloseAtOnce, Script::kAnswer},
                                   "vr",
                                   {"3", "because"},
                                   2,
                                   true},
                      Conversation{"OnlyOnce",
                                   {Script::kCloseAtOnce, Script::kCloseAtOnce, Script::kAnswer},
                                   "v",
                                   {"0"},
                                   0,
                                   false},
                      Conversation{"ASentRequestIsNeverSentAgain",
                                   {Script::kCloseOnRequest, Script::kAnswer},
                                   "vv",
                                   {"0", "3"},
                                   2,
                                   false},
                      Conversation{"AReplyIsAwaitedOnlyForItsTimeLimit",
                                   {Script::kSilent, Script::kAnswer},
                                   "vv",
                                   {"0", "3"},
                                   2,
                                   false,
                                   "no reply from the helper at"},
                      Conversation{"AHelperOlderThanLastReasonAnswersItEmpty",
                                   {Script::kCloseOnLastReason, Script::kAnswer},
                                   "vrv",
                                   {"3", "", "3"},
                                   3,
                                   true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zel::test
