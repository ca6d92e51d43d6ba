// SPDX-License-Identifier: MIT
#include "tests/daemon/daemon_test.h"

#include <algorithm>
#include <fstream>
#include <optional>

#include "client/helper_proxy.h"
#include "platform/full_name_record.h"
#include "resources/labels.h"

namespace zel::test {

bool call(ZelHelper& helper, Op op, const std::string& path, const std::string& user,
          const std::string& group) {
  using Provisioning =
      bool (ZelHelper::*)(const std::string&, const std::string&, const std::string&);
  constexpr Provisioning kProvisioning[] = {&ZelHelper::createFile, &ZelHelper::createDirectory,
                                            &ZelHelper::permitAccessToPath};
  if (op != Op::kSetPrivileges)
    return (helper.*kProvisioning[static_cast<int>(op)])(path, user, group);
  helper.setPrivileges(static_cast<uint32_t>(std::stoul(group)), path);
  return false;
}

ZelHelper& DaemonTest::helper() {
  if (!mProxy && !(mProxy = mDaemon.connect()))
    throw std::runtime_error("no daemon answers");
  return *mProxy;
}

bool DaemonTest::asCaller(uid_t uid, const std::function<bool(ZelHelper&)>& request) {
  if (uid == 0)
    return request(helper());
  return runAs(uid == kAlice.uid ? kAlice : kBob, [&request] {
           std::shared_ptr<ZelHelper> proxy = connectToHelper(kMachServiceName);
           return proxy && request(*proxy) ? 0 : 1;
         }) == 0;
}

DaemonTest::Footprint DaemonTest::footprint() const {
  return {snapshotOf(mRoot.scratch()), mRoot.readFile("etc/group"),
          mRoot.readFile(fullNameRecordPath().substr(mRoot.path().size() + 1)),
          lines(Channel::kAudit)};
}

namespace {

// The message of an NSLog line ("YYYY-MM-DD hh:mm:ss.mmm name[pid] message"), or nothing.
std::optional<std::string> nsLogMessage(const std::string& line) {
  const size_t end = line.find("] ");
  if (line.size() < 24 || line[4] != '-' || line[13] != ':' || line[19] != '.' ||
      end == std::string::npos)
    return std::nullopt;
  return line.substr(end + 2);
}

// The operations write only below a sandbox root.
class MachineFilesUnchanged : public ::testing::Environment {
  static std::string contents() {
    std::ostringstream all;
    for (const char* path : {"/etc/group", "/etc/passwd", "/etc/shadow", "/etc/gshadow"})
      all << std::ifstream(path).rdbuf();
    return all.str();
  }
  void TearDown() override { EXPECT_EQ(contents(), mBefore) << "the machine's identity files"; }
  const std::string mBefore = contents();
};

[[maybe_unused]] ::testing::Environment* const gGuard =
    ::testing::AddGlobalTestEnvironment(new MachineFilesUnchanged);

}  // namespace

std::vector<std::string> DaemonTest::lines(Channel channel) const {
  std::vector<std::string> all = mDaemon.logLines();
  // What systemd-socket-activate says before it becomes the daemon is not the daemon's.
  auto exec = std::find_if(all.begin(), all.end(),
                           [](const std::string& line) { return line.starts_with("Execing "); });
  std::vector<std::string> lines;
  for (auto line = exec == all.end() ? all.begin() : exec + 1; line != all.end(); ++line) {
    const std::optional<std::string> message = nsLogMessage(*line);
    const std::string& text = message ? *message : *line;
    const bool audit = text.starts_with("ZelHelper audit: ");
    if (channel == Channel::kAudit ? audit
                                   : !audit && message.has_value() == (channel == Channel::kNSLog))
      lines.push_back(text);
  }
  return lines;
}

}  // namespace zel::test
