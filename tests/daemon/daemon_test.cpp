// SPDX-License-Identifier: MIT
#include "tests/daemon/daemon_test.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

#include <fmt/format.h>

#include "client/helper_proxy.h"
#include "resources/labels.h"

namespace zel::test {

std::vector<std::string> linesOf(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream in{std::string(text)};
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

void addHelperGroups(const SandboxRoot& root, const std::vector<RecordedGroup>& groups) {
  std::string problem;
  std::optional<FullNameRecord> record = readFullNameRecord(&problem);
  ASSERT_TRUE(record.has_value()) << problem;
  std::string lines;
  for (const RecordedGroup& group : groups) {
    record->groups.push_back(group);
    if (gidOfGroup(root, group.name) == static_cast<gid_t>(-1))
      lines += fmt::format("{}:x:{}:\n", group.name, group.gid);
  }
  root.writeFile("etc/group", root.readFile("etc/group") + lines);
  ASSERT_FALSE(writeFullNameRecord(record->groups, record->highestGid).has_value());
}

bool call(ZelHelper& helper, Op op, const std::string& path, const std::string& user,
          const std::string& group) {
  switch (op) {
    case Op::kCreateFile:
      return helper.createFile(path, user, group);
    case Op::kCreateDirectory:
      return helper.createDirectory(path, user, group);
    case Op::kPermitAccess:
      return helper.permitAccessToPath(path, user, group);
    case Op::kSetPrivileges:
      helper.setPrivileges(static_cast<uint32_t>(std::stoul(group)), path);
      return false;
  }
  return false;
}

DaemonTest::DaemonTest() {
  // The socket file appears at bind(); the activator says this once it listens.
  if (!mDaemon.waitForLog("Listening on "))
    throw std::runtime_error("systemd-socket-activate does not listen");
}

ZelHelper& DaemonTest::helper() {
  if (!mProxy)
    mProxy = mDaemon.connect();
  if (!mProxy)
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

bool DaemonTest::groupStep(const std::string& user, const std::string& group) {
  std::string probe = mRoot.at("probe");
  if (!statusOf(probe).exists)
    makeFile(probe, 0644);
  return helper().permitAccessToPath(probe, user, group);
}

namespace {

// The message of an NSLog line ("YYYY-MM-DD hh:mm:ss.mmm name[pid] message"), or nothing. (No
// std::regex: GCC 12 warns inside it at the sanitizer build's -O1.)
std::optional<std::string> nsLogMessage(const std::string& line) {
  constexpr std::string_view kShape = "0000-00-00 00:00:00.000 ";
  if (line.size() < kShape.size())
    return std::nullopt;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const bool fits = kShape[i] == '0' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                       : line[i] == kShape[i];
    if (!fits)
      return std::nullopt;
  }
  const size_t end = line.find("] ", kShape.size());
  if (end == std::string::npos)
    return std::nullopt;
  return line.substr(end + 2);
}

// The daemon's lines of one channel, audits or the others.
std::vector<std::string> daemonLines(const DaemonHarness& daemon, bool nsLog, bool audits) {
  std::vector<std::string> all = daemon.logLines();
  // What systemd-socket-activate says before it becomes the daemon is not the daemon's.
  auto exec = std::find_if(all.begin(), all.end(),
                           [](const std::string& line) { return line.starts_with("Execing "); });
  std::vector<std::string> lines;
  for (auto line = exec == all.end() ? all.begin() : exec + 1; line != all.end(); ++line) {
    const std::optional<std::string> message = nsLogMessage(*line);
    const std::string& text = message ? *message : *line;
    if (message.has_value() == nsLog && text.starts_with("ZelHelper audit: ") == audits)
      lines.push_back(text);
  }
  return lines;
}

// The operations write only below a sandbox root.
class MachineFilesUnchanged : public ::testing::Environment {
 public:
  void SetUp() override { mBefore = contents(); }
  void TearDown() override { EXPECT_EQ(contents(), mBefore) << "the machine's identity files"; }

 private:
  static std::string contents() {
    std::ostringstream all;
    for (const char* path : {"/etc/group", "/etc/passwd", "/etc/shadow", "/etc/gshadow"})
      all << std::ifstream(path).rdbuf();
    return all.str();
  }
  std::string mBefore;
};

[[maybe_unused]] ::testing::Environment* const gGuard =
    ::testing::AddGlobalTestEnvironment(new MachineFilesUnchanged);

}  // namespace

std::vector<std::string> DaemonTest::systemLines() const {
  return daemonLines(mDaemon, false, false);
}

std::vector<std::string> DaemonTest::nsLines() const {
  return daemonLines(mDaemon, true, false);
}

std::vector<std::string> DaemonTest::auditLines() const {
  std::vector<std::string> lines = daemonLines(mDaemon, false, true);
  for (std::string& line : daemonLines(mDaemon, true, true))
    lines.push_back(std::move(line));
  return lines;
}

}  // namespace zel::test
