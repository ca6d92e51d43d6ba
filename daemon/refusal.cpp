// SPDX-License-Identifier: MIT
#include "daemon/refusal.h"

#include <fmt/format.h>

namespace zel {

std::string describeRefusal(const Refusal& refusal) {
  return fmt::format("refused ({}): {}", refusal.rule, refusal.reason);
}

}  // namespace zel
