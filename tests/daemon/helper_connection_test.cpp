// The proxy against a scripted stand-in for the daemon: it connects again when it finds its
// connection closed before sending, never sends a request twice, and gives up on a reply after
// its time limit.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "client/helper_proxy.h"
#include "daemon/remote_interface.h"
#include "platform/log.h"
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

class ScriptedHelper {
 public:
  ScriptedHelper(std::string socketPath, std::vector<Script> scripts)
      : mSocketPath(std::move(socketPath)), mScripts(std::move(scripts)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, mSocketPath.c_str(), sizeof address.sun_path - 1);
    mListenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(mListenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(mListenFd, 8) != 0)
      throw std::runtime_error("cannot listen on " + mSocketPath);
    mThread = std::thread([this] { serve(); });
  }
  ~ScriptedHelper() {
    shutdown(mListenFd, SHUT_RDWR);
    mThread.join();
    close(mListenFd);
  }
  int requests() const { return mRequests; }
  // Waits until the stand-in has closed `count` connections.
  void waitForClosed(int count) const {
    for (int i = 0; i < 5000 && mClosed < count; ++i)
      std::this_thread::sleep_for(1ms);
  }

 private:
  void serve() {
    for (std::size_t next = 0;; ++next) {
      const int fd = accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0)
        return;
      converse(fd, next < mScripts.size() ? mScripts[next] : Script::kAnswer);
      close(fd);
      ++mClosed;
    }
  }

  void converse(int fd, Script script) {
    wire::FrameAssembler in;
    while (script != Script::kCloseAtOnce) {
      std::string body;
      while (in.next(body) != wire::FrameAssembler::Status::kComplete) {
        char buffer[512];
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
          return;
        in.append(std::string_view(buffer, static_cast<std::size_t>(got)));
      }
      ++mRequests;
      const auto op = static_cast<remote::Op>(body.at(0));
      if (script == Script::kCloseOnRequest ||
          (script == Script::kCloseOnLastReason && op == remote::Op::kLastReason))
        return;
      if (script == Script::kSilent) {
        char rest;
        recv(fd, &rest, 1, 0);  // until the client gives up and hangs up
        return;
      }
      const std::string reply = op == remote::Op::kLastReason
                                    ? remote::encodeReply<remote::Op::kLastReason>("because")
                                    : remote::encodeReply<remote::Op::kVersion>(3);
      send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    }
  }

  std::string mSocketPath;
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
  const char* logged = "";
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
  EXPECT_EQ(lines.size(), *conversation.logged ? 1u : 0u);
  if (!lines.empty()) {
    EXPECT_NE(lines[0].find(conversation.logged), std::string::npos) << lines[0];
  }
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
