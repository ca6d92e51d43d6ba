// SPDX-License-Identifier: MIT
#include "tests/operations/operations_support.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <fmt/format.h>

#include "client/helper_proxy.h"
#include "daemon/caller.h"
#include "resources/labels.h"

namespace zel::test {
namespace fs = std::filesystem;

void PrintTo(const ItemStatus& status, std::ostream* out) {
  if (!status.exists) {
    *out << "(missing)";
    return;
  }
  *out << fmt::format("({} {}:{} {:04o})", status.isDirectory ? "dir" : "item", status.uid,
                      status.gid, status.mode);
}

ItemStatus statusOf(const std::string& path) {
  struct stat item {};
  if (lstat(path.c_str(), &item) != 0)
    return ItemStatus{};
  return ItemStatus{true, item.st_uid, item.st_gid, item.st_mode & 07777, S_ISDIR(item.st_mode)};
}

std::map<std::string, ItemStatus> snapshotOf(const std::string& directory) {
  std::map<std::string, ItemStatus> items;
  for (const auto& entry : fs::recursive_directory_iterator(directory))
    items[entry.path().string()] = statusOf(entry.path().string());
  return items;
}

void makeFile(const std::string& path, mode_t mode, uid_t uid, gid_t gid) {
  std::ofstream(path) << "contents\n";
  ASSERT_EQ(chown(path.c_str(), uid, gid), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

void makeDirectory(const std::string& path, mode_t mode, uid_t uid, gid_t gid) {
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
  ASSERT_EQ(chown(path.c_str(), uid, gid), 0) << path;
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

namespace {

// The fields of the group file's line for `name`.
std::vector<std::string> groupFields(const SandboxRoot& root, const std::string& name) {
  std::istringstream lines(root.readFile("etc/group"));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, ':');)
      fields.push_back(field);
    if (line.back() == ':')
      fields.emplace_back();
    if (fields.size() == 4 && fields[0] == name)
      return fields;
  }
  return {};
}

}  // namespace

gid_t gidOfGroup(const SandboxRoot& root, const std::string& name) {
  std::vector<std::string> fields = groupFields(root, name);
  return fields.empty() ? static_cast<gid_t>(-1) : static_cast<gid_t>(std::stoul(fields[2]));
}

std::vector<std::string> membersOfGroup(const SandboxRoot& root, const std::string& name) {
  std::vector<std::string> members;
  std::vector<std::string> fields = groupFields(root, name);
  std::istringstream list(fields.empty() ? "" : fields[3]);
  for (std::string member; std::getline(list, member, ',');)
    members.push_back(member);
  return members;
}

GroupFileLock::GroupFileLock(const SandboxRoot& root) : mPath(root.at("etc/group.lock")) {
  std::ofstream(mPath) << "damaged\n";
}

GroupFileLock::~GroupFileLock() {
  unlink(mPath.c_str());
}

namespace {

void setImmutable(const std::string& path, bool immutable) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  int flags = 0;
  EXPECT_EQ(ioctl(fd, FS_IOC_GETFLAGS, &flags), 0);
  flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  EXPECT_EQ(ioctl(fd, FS_IOC_SETFLAGS, &flags), 0) << path;
  close(fd);
}

}  // namespace

ImmutableItem::ImmutableItem(std::string path) : mPath(std::move(path)) {
  setImmutable(mPath, true);
}

ImmutableItem::~ImmutableItem() {
  setImmutable(mPath, false);
}

ZelHelper& OperationsTest::helper() {
  if (!throughDaemon())
    return mHelper;
  if (!mDaemon) {
    mDaemon = std::make_unique<DaemonHarness>(mRoot);
    // The socket file appears at bind(); the activator says this once it listens.
    if (!mDaemon->waitForLog("Listening on "))
      throw std::runtime_error("systemd-socket-activate does not listen");
  }
  if (!mProxy)
    mProxy = mDaemon->connect();
  if (!mProxy)
    throw std::runtime_error("no daemon answers");
  return *mProxy;
}

bool OperationsTest::asCaller(uid_t uid, const std::function<bool(ZelHelper&)>& request) {
  if (!throughDaemon()) {
    std::string lastReason;
    CallerScope scope(Caller{uid, uid, getpid()}, &lastReason);
    return request(mHelper);
  }
  if (uid == 0)
    return request(helper());
  helper();  // the daemon listens before the child connects
  SandboxUser user = uid == kAlice.uid ? kAlice : kBob;
  return runAs(user, [&request] {
           std::shared_ptr<ZelHelper> proxy = connectToHelper(kMachServiceName);
           return proxy && request(*proxy) ? 0 : 1;
         }) == 0;
}

bool OperationsTest::groupStep(const std::string& user, const std::string& group) {
  if (!throughDaemon())
    return ZelHelper::putUser(user, group);
  std::string probe = mRoot.at("probe");
  if (!statusOf(probe).exists)
    makeFile(probe, 0644);
  return helper().permitAccessToPath(probe, user, group);
}

namespace {

// The message of an NSLog line ("YYYY-MM-DD hh:mm:ss.mmm name[pid] message"), or nothing.
std::optional<std::string> nsLogMessage(const std::string& line) {
  constexpr std::string_view kShape = "0000-00-00 00:00:00.000 ";
  if (line.size() < kShape.size())
    return std::nullopt;
  for (size_t i = 0; i < kShape.size(); ++i) {
    bool fits = kShape[i] == '0' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                 : line[i] == kShape[i];
    if (!fits)
      return std::nullopt;
  }
  size_t end = line.find("] ", kShape.size());
  if (end == std::string::npos)
    return std::nullopt;
  return line.substr(end + 2);
}

// The audit lines of `lines`, or all the others.
std::vector<std::string> linesOfKind(std::vector<std::string> lines, bool audits) {
  std::erase_if(lines, [&](const std::string& line) {
    return line.starts_with("ZelHelper audit: ") != audits;
  });
  return lines;
}

}  // namespace

std::vector<std::string> OperationsTest::daemonLines(bool nsLog) const {
  std::vector<std::string> all = mDaemon ? mDaemon->logLines() : std::vector<std::string>{};
  // What systemd-socket-activate says before it becomes the daemon is not the daemon's.
  auto exec = std::find_if(all.begin(), all.end(),
                           [](const std::string& line) { return line.starts_with("Execing "); });
  std::vector<std::string> lines;
  for (auto line = exec == all.end() ? all.begin() : exec + 1; line != all.end(); ++line) {
    std::optional<std::string> message = nsLogMessage(*line);
    if (message.has_value() == nsLog)
      lines.push_back(message.value_or(*line));
  }
  return lines;
}

std::vector<std::string> OperationsTest::systemLines() const {
  return linesOfKind(throughDaemon() ? daemonLines(false) : mSystemLog.lines(), false);
}

std::vector<std::string> OperationsTest::nsLines() const {
  return linesOfKind(throughDaemon() ? daemonLines(true) : mNSLog.lines(), false);
}

std::vector<std::string> OperationsTest::auditLines() const {
  std::vector<std::string> lines =
      linesOfKind(throughDaemon() ? daemonLines(false) : mSystemLog.lines(), true);
  for (std::string& line : linesOfKind(throughDaemon() ? daemonLines(true) : mNSLog.lines(), true))
    lines.push_back(std::move(line));
  return lines;
}

}  // namespace zel::test
