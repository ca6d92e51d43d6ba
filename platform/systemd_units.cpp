// SPDX-License-Identifier: MIT
#include "platform/systemd_units.h"

#include <algorithm>

#include <fmt/format.h>

#include "packaging/unit_templates.h"
#include "platform/system_root.h"

namespace zel {
namespace {

// The templates' placeholders, each replaced everywhere: @LABEL@ (the job label),
// @LISTEN_STREAM@, @FD_NAME@, @EXEC_START@, and the line "@SANDBOX@", which disappears except
// for a sandbox root (sandboxLines).
void replaceAll(std::string& text, std::string_view placeholder, std::string_view value) {
  for (size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
}

// A sandbox root's daemon is told where its files are, and may chroot, which gpasswd does
// there (-Q) and nowhere else. Capability sets given twice are merged.
std::string sandboxLines() {
  return fmt::format(
      "Environment=ZELHELPER_ROOT={}\n"
      "# gpasswd -Q chroots into the sandbox root.\n"
      "CapabilityBoundingSet=CAP_SYS_CHROOT\n",
      systemRoot());
}

}  // namespace

HelperJobFiles helperJobFiles(std::string_view label) {
  HelperJobFiles files;
  files.executable = underSystemRoot(fmt::format("/usr/local/libexec/{}", label));
  files.unitDirectory = underSystemRoot("/etc/systemd/system");
  files.socketUnitName = fmt::format("{}.socket", label);
  files.serviceUnitName = fmt::format("{}.service", label);
  files.socketUnit = fmt::format("{}/{}", files.unitDirectory, files.socketUnitName);
  files.serviceUnit = fmt::format("{}/{}", files.unitDirectory, files.serviceUnitName);
  return files;
}

std::vector<std::string> HelperJobFiles::searchedUnitDirectories() const {
  return {unitDirectory, underSystemRoot("/usr/lib/systemd/system"),
          underSystemRoot("/lib/systemd/system")};
}

bool fitsInUnitFile(std::string_view value) {
  return !value.empty() && std::none_of(value.begin(), value.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == 0x7f ||
           std::string_view("\"'\\%$").find(c) != std::string_view::npos;
  });
}

std::string socketUnitText(std::string_view label, std::string_view machServiceName,
                           std::string_view listenStream) {
  std::string text(kSocketUnitTemplate);
  replaceAll(text, "@LABEL@", label);
  replaceAll(text, "@LISTEN_STREAM@", listenStream);
  replaceAll(text, "@FD_NAME@", machServiceName);
  return text;
}

std::string serviceUnitText(std::string_view label, const HelperJobFiles& files) {
  std::string text(kServiceUnitTemplate);
  replaceAll(text, "@LABEL@", label);
  replaceAll(text, "@EXEC_START@", files.executable);
  replaceAll(text, "@SANDBOX@\n", inSandboxRoot() ? sandboxLines() : "");
  return text;
}

}  // namespace zel
