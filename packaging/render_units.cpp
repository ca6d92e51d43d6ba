// SPDX-License-Identifier: MIT
// Build-time tool: writes the helper's socket and service units, as the package installs them,
// with the renderer 'zelhelper install' uses (platform/systemd_units.h):
//   zel_render_units DIRECTORY EXEC_START
// The units are rendered for the real system root, whatever ZELHELPER_ROOT says. Exit status 0,
// or 1 with the reason on standard error.
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>

#include <fmt/format.h>

#include "platform/atomic_file.h"
#include "platform/systemd_units.h"
#include "platform/unique_fd.h"
#include "resources/labels.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fmt::print(stderr, "usage: zel_render_units DIRECTORY EXEC_START\n");
    return 1;
  }
  unsetenv("ZELHELPER_ROOT");
  const std::string directory = argv[1];
  zel::HelperJobFiles files = zel::helperJobFiles(zel::kHelperLabel);
  files.executable = argv[2];
  const zel::UniqueFd directoryFd(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directoryFd) {
    std::perror(directory.c_str());
    return 1;
  }
  const std::string listenStream = fmt::format("/run/{}", zel::kMachServiceName);
  for (const auto& [name, text] :
       {std::pair{files.socketUnitName,
                  zel::socketUnitText(zel::kHelperLabel, zel::kMachServiceName, listenStream)},
        std::pair{files.serviceUnitName, zel::serviceUnitText(zel::kHelperLabel, files)}}) {
    const std::string path = fmt::format("{}/{}", directory, name);
    if (std::string problem = zel::replaceFileIn(directoryFd.get(), name, path, text, 0644);
        !problem.empty()) {
      fmt::print(stderr, "zel_render_units: {}\n", problem);
      return 1;
    }
  }
  return 0;
}
