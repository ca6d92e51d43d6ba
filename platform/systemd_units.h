// SPDX-License-Identifier: MIT
// The systemd units of an installed helper job: where they and the job's executable live
// under the system root (platform/system_root.h), and their text, rendered from the templates
// in packaging/.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel {

struct HelperJobFiles {
  std::string executable;     // <root>/usr/local/libexec/<label>
  std::string unitDirectory;  // <root>/etc/systemd/system
  std::string socketUnitName;
  std::string serviceUnitName;
  std::string socketUnit;   // unitDirectory/socketUnitName
  std::string serviceUnit;  // unitDirectory/serviceUnitName

  // unitDirectory, then the vendor directories where a package puts its units
  // (<root>/usr/lib/systemd/system, <root>/lib/systemd/system), in systemd's order.
  std::vector<std::string> searchedUnitDirectories() const;
};

HelperJobFiles helperJobFiles(std::string_view label);

// True when `value` can stand in a unit file as it is: no whitespace, control characters,
// quotes, backslashes, specifiers (%) or variables ($).
bool fitsInUnitFile(std::string_view value);

// The socket unit: listens on `listenStream`, hands the socket to the service under the name
// `machServiceName`.
std::string socketUnitText(std::string_view label, std::string_view machServiceName,
                           std::string_view listenStream);

// The hardened service unit: runs files.executable with no arguments. In a sandbox root the
// service is given ZELHELPER_ROOT, so that the daemon finds its files there, and may chroot.
std::string serviceUnitText(std::string_view label, const HelperJobFiles& files);

}  // namespace zel
