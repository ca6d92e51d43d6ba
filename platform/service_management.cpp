// SPDX-License-Identifier: MIT
#include "platform/service_management.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/atomic_file.h"
#include "platform/command.h"
#include "platform/consent_channel.h"
#include "platform/launchd_plist.h"
#include "platform/system_root.h"
#include "platform/systemd_units.h"
#include "resources/labels.h"

namespace zel {
namespace {

constexpr const char* kRunningExecutable = "/proc/self/exe";

bool fail(std::optional<ServiceError>* outError, std::string description) {
  if (outError != nullptr)
    *outError = ServiceError(std::move(description));
  return false;
}

// Runs systemctl; on failure, a description naming the command, its status and its message.
std::string systemctl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "systemctl");
  CommandResult result = runCommand(arguments);
  if (result.succeeded())
    return {};
  std::string message = result.output;
  for (char& c : message) {
    if (c == '\n')
      c = ' ';
  }
  return fmt::format("{} failed with exit status {}{}{}", commandLine(arguments), result.exitStatus,
                     message.empty() ? "" : ": ", message);
}

// The checks that every request makes before it acts.
bool mayAct(std::string_view domain, std::string_view label, const Authorization* authorization,
            const char* right, std::optional<ServiceError>* outError) {
  if (domain != kSMDomainSystemLaunchd)
    return fail(outError, fmt::format("unknown service domain \"{}\"", domain));
  if (authorization == nullptr || !authorization->holds(right))
    return fail(outError, fmt::format("not authorized to change the job {}: the right {} was "
                                      "not granted",
                                      label, right));
  return true;
}

// The unit properties that SMJobState reads, as `systemctl show` prints them.
struct UnitProperties {
  std::string loadState;
  std::string fragmentPath;
  std::string unitFileState;
  std::string activeState;
};

UnitProperties systemdProperties(const std::string& unit) {
  CommandResult result = runCommand(
      {"systemctl", "show", "-p", "LoadState,FragmentPath,UnitFileState,ActiveState", unit});
  UnitProperties properties;
  if (!result.succeeded())
    return properties;
  std::string_view output = result.output;
  while (!output.empty()) {
    size_t end = output.find('\n');
    std::string_view line = output.substr(0, end);
    output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
    size_t equals = line.find('=');
    if (equals == std::string_view::npos)
      continue;
    std::string_view key = line.substr(0, equals);
    std::string value(line.substr(equals + 1));
    if (key == "LoadState")
      properties.loadState = value;
    else if (key == "FragmentPath")
      properties.fragmentPath = value;
    else if (key == "UnitFileState")
      properties.unitFileState = value;
    else if (key == "ActiveState")
      properties.activeState = value;
  }
  return properties;
}

// The unit file systemd loaded the unit from, or "" when it loaded none (a mask is no file).
std::string loadedUnitFile(const UnitProperties& properties) {
  if (properties.loadState == "not-found" || properties.loadState == "masked" ||
      properties.fragmentPath == "/dev/null")
    return "";
  return properties.fragmentPath;
}

HelperOwner ownerOfUnitFile(const HelperJobFiles& files, std::string_view unitFile) {
  return unitFile.starts_with(files.unitDirectory + "/") ? HelperOwner::kCommand
                                                         : HelperOwner::kPackage;
}

// The owner that the unit files on disk show, and the file that shows it. A mask (a link to
// /dev/null) is not a unit file.
std::pair<HelperOwner, std::string> ownerOnDisk(const HelperJobFiles& files) {
  for (const std::string& name : {files.socketUnitName, files.serviceUnitName}) {
    for (const std::string& directory : files.searchedUnitDirectories()) {
      std::string unitFile = fmt::format("{}/{}", directory, name);
      std::error_code error;
      if (std::filesystem::is_regular_file(unitFile, error))
        return {ownerOfUnitFile(files, unitFile), unitFile};
    }
  }
  return {HelperOwner::kNone, ""};
}

// Has the root side that holds an ordinary user's consent do `step` for the job `label`.
bool performAsRoot(ConsentChannel& rootSide, std::string_view step, std::string_view label,
                   std::optional<ServiceError>* outError) {
  if (label != kHelperLabel)
    return fail(outError, fmt::format("the administrator consented to changing the job {} only, "
                                      "not {}",
                                      kHelperLabel, label));
  std::string problem = rootSide.perform(step);
  return problem.empty() || fail(outError, std::move(problem));
}

std::string runningExecutable() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink(kRunningExecutable, error);
  return error ? kRunningExecutable : path.string();
}

}  // namespace

std::string serviceManagerProblem() {
  CommandResult state = runCommand({"systemctl", "is-system-running"});
  if (state.exitStatus == 127 || state.output == "offline")
    return "systemd is not running on this machine (no /run/systemd/system), so the helper "
           "cannot be installed or removed";
  if (inSandboxRoot() &&
      !runCommand({"systemctl", "--version"}).output.starts_with("stand-in systemctl")) {
    return fmt::format(
        "{} is a sandbox root, whose units this machine's systemd never reads: "
        "only a stand-in systemctl first on PATH may act there",
        systemRoot());
  }
  return {};
}

std::string_view helperOwnerName(HelperOwner owner) {
  switch (owner) {
    case HelperOwner::kCommand:
      return "command";
    case HelperOwner::kPackage:
      return "package";
    case HelperOwner::kNone:
      break;
  }
  return "none";
}

bool HelperJobState::masked() const {
  return loadState == "masked" || unitFileState.starts_with("masked");
}

HelperJobState SMJobState(std::string_view label) {
  HelperJobFiles files = helperJobFiles(label);
  HelperJobState state;
  if (serviceManagerProblem().empty()) {
    UnitProperties socket = systemdProperties(files.socketUnitName);
    state.loadState = socket.loadState;
    state.unitFileState = socket.unitFileState;
    state.activeState = socket.activeState;
    if (std::string unitFile = loadedUnitFile(socket); !unitFile.empty()) {
      state.owner = ownerOfUnitFile(files, unitFile);
      state.fragmentPath = unitFile;
      return state;
    }
  }
  std::tie(state.owner, state.fragmentPath) = ownerOnDisk(files);
  return state;
}

bool SMJobInstalled(std::string_view label) {
  return SMJobState(label).owner != HelperOwner::kNone;
}

bool SMJobBless(std::string_view domain, std::string_view executableLabel,
                const Authorization* authorization, std::optional<ServiceError>* outError) {
  if (!mayAct(domain, executableLabel, authorization, kSMRightBlessPrivilegedHelper, outError))
    return false;
  if (ConsentChannel* rootSide = authorization->rootSide())
    return performAsRoot(*rootSide, kConsentStepBless, executableLabel, outError);
  if (std::string problem = serviceManagerProblem(); !problem.empty())
    return fail(outError, problem);
  HelperJobState state = SMJobState(executableLabel);
  std::string socketUnitName = helperJobFiles(executableLabel).socketUnitName;
  if (state.masked())
    return fail(outError, fmt::format("{0} is masked, so the helper cannot be started; it stays "
                                      "masked until an administrator runs 'systemctl unmask {0}'",
                                      socketUnitName));
  // The package's units and executable are the package's to write.
  if (state.owner == HelperOwner::kPackage) {
    const std::string failed = systemctl({"enable", "--now", socketUnitName});
    return failed.empty() || fail(outError, failed);
  }

  std::string executable = runningExecutable();
  std::optional<LaunchdJob> job = launchdJobOfExecutable(kRunningExecutable);
  if (!job)
    return fail(outError, fmt::format("{} carries no launchd property list (section "
                                      "__launchd_plist) to bless",
                                      executable));
  if (job->label != executableLabel)
    return fail(outError, fmt::format("{} is the helper labelled {}, not {}", executable,
                                      job->label, executableLabel));
  std::string listenStream = underSystemRoot(fmt::format("/run/{}", job->machServiceName));
  HelperJobFiles files = helperJobFiles(job->label);
  for (const std::string& value : {files.executable, listenStream, job->machServiceName}) {
    if (!fitsInUnitFile(value))
      return fail(outError, fmt::format("\"{}\" cannot be written into a unit file", value));
  }

  std::string problem = replaceFileWithCopy(files.executable, kRunningExecutable, 0755);
  if (problem.empty())
    problem = replaceFile(files.socketUnit,
                          socketUnitText(job->label, job->machServiceName, listenStream), 0644);
  if (problem.empty())
    problem = replaceFile(files.serviceUnit, serviceUnitText(job->label, files), 0644);
  if (!problem.empty())
    return fail(outError, fmt::format("cannot install the helper {}: {}", job->label, problem));

  std::string failed = systemctl({"daemon-reload"});
  if (failed.empty())
    failed = systemctl({"enable", "--now", files.socketUnitName});
  return failed.empty() || fail(outError, failed);
}

bool SMJobRemove(std::string_view domain, std::string_view jobLabel,
                 const Authorization* authorization, bool wait,
                 std::optional<ServiceError>* outError) {
  if (!mayAct(domain, jobLabel, authorization, kSMRightModifySystemDaemons, outError))
    return false;
  if (ConsentChannel* rootSide = authorization->rootSide())
    return performAsRoot(*rootSide, kConsentStepRemove, jobLabel, outError);
  HelperJobFiles files = helperJobFiles(jobLabel);
  HelperOwner owner = SMJobState(jobLabel).owner;
  if (owner == HelperOwner::kNone)
    return fail(outError, fmt::format("no job labelled {} is installed (no {} in {})", jobLabel,
                                      files.socketUnitName, files.unitDirectory));
  if (std::string problem = serviceManagerProblem(); !problem.empty())
    return fail(outError, problem);

  std::vector<std::string> disable{"disable", "--now"};
  if (!wait)
    disable.emplace_back("--no-block");
  for (const auto& [unit, name] : {std::pair{files.socketUnit, files.socketUnitName},
                                   std::pair{files.serviceUnit, files.serviceUnitName}}) {
    if (owner == HelperOwner::kPackage || access(unit.c_str(), F_OK) == 0)
      disable.push_back(name);
  }
  if (std::string failed = systemctl(disable); !failed.empty())
    return fail(outError, failed);
  if (owner == HelperOwner::kPackage)
    return true;

  for (const std::string& path : {files.socketUnit, files.serviceUnit, files.executable}) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
      return fail(outError, fmt::format("cannot delete {}: {}", path, std::strerror(errno)));
  }
  const std::string failed = systemctl({"daemon-reload"});
  return failed.empty() || fail(outError, failed);
}

}  // namespace zel
