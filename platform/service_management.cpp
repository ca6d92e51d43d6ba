#include "platform/service_management.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "platform/atomic_file.h"
#include "platform/command.h"
#include "platform/launchd_plist.h"
#include "platform/system_root.h"
#include "platform/systemd_units.h"

namespace zel {
namespace {

constexpr const char* kRunningExecutable = "/proc/self/exe";

bool fail(std::optional<ServiceError>* outError, std::string description) {
  if (outError != nullptr)
    *outError = ServiceError(std::move(description));
  return false;
}

// Runs systemctl; on failure, a description naming the command, its status and its message.
std::optional<std::string> systemctl(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "systemctl");
  CommandResult result = runCommand(arguments);
  if (result.succeeded())
    return std::nullopt;
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

std::string runningExecutable() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink(kRunningExecutable, error);
  return error ? kRunningExecutable : path.string();
}

}  // namespace

std::optional<std::string> serviceManagerProblem() {
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
  return std::nullopt;
}

bool SMJobInstalled(std::string_view label) {
  HelperJobFiles files = helperJobFiles(label);
  return access(files.socketUnit.c_str(), F_OK) == 0 ||
         access(files.serviceUnit.c_str(), F_OK) == 0;
}

bool SMJobBless(std::string_view domain, std::string_view executableLabel,
                const Authorization* authorization, std::optional<ServiceError>* outError) {
  if (!mayAct(domain, executableLabel, authorization, kSMRightBlessPrivilegedHelper, outError))
    return false;
  if (std::optional<std::string> problem = serviceManagerProblem())
    return fail(outError, *problem);

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

  std::optional<std::string> failed = systemctl({"daemon-reload"});
  if (!failed)
    failed = systemctl({"enable", "--now", files.socketUnitName});
  return failed ? fail(outError, *failed) : true;
}

bool SMJobRemove(std::string_view domain, std::string_view jobLabel,
                 const Authorization* authorization, bool wait,
                 std::optional<ServiceError>* outError) {
  if (!mayAct(domain, jobLabel, authorization, kSMRightModifySystemDaemons, outError))
    return false;
  HelperJobFiles files = helperJobFiles(jobLabel);
  if (!SMJobInstalled(jobLabel))
    return fail(outError, fmt::format("no job labelled {} is installed (no {} in {})", jobLabel,
                                      files.socketUnitName, files.unitDirectory));
  if (std::optional<std::string> problem = serviceManagerProblem())
    return fail(outError, *problem);

  std::vector<std::string> disable{"disable", "--now"};
  if (!wait)
    disable.emplace_back("--no-block");
  for (const auto& [unit, name] : {std::pair{files.socketUnit, files.socketUnitName},
                                   std::pair{files.serviceUnit, files.serviceUnitName}}) {
    if (access(unit.c_str(), F_OK) == 0)
      disable.push_back(name);
  }
  if (std::optional<std::string> failed = systemctl(disable))
    return fail(outError, *failed);

  for (const std::string& path : {files.socketUnit, files.serviceUnit, files.executable}) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT)
      return fail(outError, fmt::format("cannot delete {}: {}", path, std::strerror(errno)));
  }
  std::optional<std::string> failed = systemctl({"daemon-reload"});
  return failed ? fail(outError, *failed) : true;
}

}  // namespace zel
