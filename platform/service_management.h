// Service management: the stand-in for the platform's blessed-helper mechanism, on systemd.
//
// SMJobBless installs the running executable (/proc/self/exe) as the job `label`. The
// executable must carry a launchd property list (platform/launchd_plist.h) whose Label is
// `label`; its one Mach service name names the socket. The executable is copied to
// <root>/usr/local/libexec/<label> (root:root 0755), the units <label>.socket and
// <label>.service are written to <root>/etc/systemd/system (platform/systemd_units.h), each
// file by an atomic rename, and `systemctl daemon-reload` and `systemctl enable --now
// <label>.socket` make the socket listen. Blessing an installed job installs it again.
//
// SMJobRemove stops and disables both units (`systemctl disable --now`, which waits until the
// job has stopped unless `wait` is false), deletes them and the installed executable, and runs
// `systemctl daemon-reload`. A job that is not installed cannot be removed.
//
// Both act in the one domain there is, kSMDomainSystemLaunchd, and need an Authorization
// (platform/authorization.h) that holds their right. systemctl runs as platform/command.h runs
// every tool: the system's own, except in a sandbox root, where a stand-in placed first on PATH
// takes its place. On failure they answer false
// and, when `outError` is given, store an error whose description says what failed (for a
// command: the command, its exit status and its message); nothing already done is undone.
//
// Thread: the caller's; both block while systemctl runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/authorization.h"

namespace zel {

inline constexpr std::string_view kSMDomainSystemLaunchd = "system";

// The rights that blessing and removing need.
inline constexpr const char* kSMRightBlessPrivilegedHelper =
    "com.apple.ServiceManagement.blesshelper";
inline constexpr const char* kSMRightModifySystemDaemons =
    "com.apple.ServiceManagement.daemons.modify";

class ServiceError {
 public:
  explicit ServiceError(std::string description) : mDescription(std::move(description)) {}
  const std::string& description() const { return mDescription; }

 private:
  std::string mDescription;
};

bool SMJobBless(std::string_view domain, std::string_view executableLabel,
                const Authorization* authorization, std::optional<ServiceError>* outError);

bool SMJobRemove(std::string_view domain, std::string_view jobLabel,
                 const Authorization* authorization, bool wait,
                 std::optional<ServiceError>* outError);

// Why no job can be blessed or removed here, or nullopt when it can: systemd must answer
// `systemctl is-system-running` with anything but "offline" (it runs as PID 1). In a sandbox root,
// whose units the machine's systemd never reads, only a stand-in (whose `systemctl --version`
// begins "stand-in systemctl") may act, so that nothing done for a sandbox ever reaches the
// machine's own services.
std::optional<std::string> serviceManagerProblem();

// True when a unit of the job `label` is installed.
bool SMJobInstalled(std::string_view label);

}  // namespace zel
