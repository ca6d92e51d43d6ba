// SPDX-License-Identifier: MIT
#include "cli/held_log.h"

#include <cstdio>

#include <fmt/core.h>

namespace zel::cli {

void HeldLog::release() const {
  for (const std::string& line : mCapture.lines())
    fmt::print(stderr, "zelhelper: {}\n", line);
}

}  // namespace zel::cli
