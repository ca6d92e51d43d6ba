// SPDX-License-Identifier: MIT
// Service management: installing, removing and asking after the helper's systemd units.
//
// Who owns a job's units is decided once, by SMJobState: the Debian package (units in a vendor
// directory such as /usr/lib/systemd/system, which the package alone writes and deletes), the
// command (`zelhelper install`, units in <root>/etc/systemd/system and the executable in
// <root>/usr/local/libexec), or nobody. Blessing and removing act according to it.
//
// SMJobBless, for a job the command owns or that nobody owns, installs the running executable
// (/proc/self/exe) as the job `label`. The executable must carry a launchd property list
// (platform/launchd_plist.h) whose Label is `label`; its one Mach service name names the socket.
// The executable is copied to <root>/usr/local/libexec/<label> (root:root 0755), the units
// <label>.socket and <label>.service are written to <root>/etc/systemd/system
// (platform/systemd_units.h), each file by an atomic rename, and `systemctl daemon-reload` and
// `systemctl enable --now <label>.socket` make the socket listen. Blessing an installed job
// installs it again. For a job the package owns it writes nothing: `systemctl enable --now
// <label>.socket` makes the package's socket listen. A masked socket is never blessed (the mask
// is the administrator's, or the removed package's): the error says so and how to unmask it.
//
// SMJobRemove stops and disables both units (`systemctl disable --now`, which waits until the
// job has stopped unless `wait` is false). For a job the command owns it then deletes the units
// and the installed executable and runs `systemctl daemon-reload`; the package's units and
// executable stay. A job that is not installed cannot be removed.
//
// Both act in the one domain there is, kSMDomainSystemLaunchd, and need an Authorization
// (platform/authorization.h) that holds their right. An ordinary user's Authorization has its
// root side (platform/consent_channel.h) bless and remove, and only the job kHelperLabel; there
// the installed command blesses itself, and removing always waits. systemctl runs as
// platform/command.h runs every tool: the system's own, except in a sandbox root, where a stand-in
// placed first on PATH takes its place. On failure they answer false and, when `outError` is given,
// store an error whose description says what failed (for a command: the command, its exit status
// and its message); nothing already done is undone.
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

// Why no job can be blessed or removed here, or an empty string when it can: systemd must answer
// `systemctl is-system-running` with anything but "offline" (it runs as PID 1). In a sandbox root,
// whose units the machine's systemd never reads, only a stand-in (whose `systemctl --version`
// begins "stand-in systemctl") may act, so that nothing done for a sandbox ever reaches the
// machine's own services.
std::string serviceManagerProblem();

enum class HelperOwner { kNone, kCommand, kPackage };

// "none", "command" or "package".
std::string_view helperOwnerName(HelperOwner owner);

// What systemd says of a job's socket unit (`systemctl show`), with its owner: the package when
// systemd loaded the socket from outside <root>/etc/systemd/system, the command when from there.
// When systemd cannot be asked (serviceManagerProblem), or loaded no socket file (not found, or
// masked), the owner follows from the files on disk, the socket's before the service's: a
// regular file in <root>/etc/systemd/system is the command's, one in
// <root>/usr/lib/systemd/system or <root>/lib/systemd/system the package's. States that systemd
// did not give are empty.
struct HelperJobState {
  HelperOwner owner = HelperOwner::kNone;
  std::string loadState;      // "loaded", "not-found", "masked", ...
  std::string unitFileState;  // "enabled", "disabled", "masked", "masked-runtime", ...
  std::string activeState;    // "active", "inactive", "failed", ...
  // The unit file the owner was read from: the socket's as systemd loaded it, else the
  // socket's (or the service's) on disk; empty for no owner.
  std::string fragmentPath;

  bool masked() const;
};

HelperJobState SMJobState(std::string_view label);

// True when the job `label` has an owner.
bool SMJobInstalled(std::string_view label);

}  // namespace zel
