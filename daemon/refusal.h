// SPDX-License-Identifier: MIT
// Why a rule refuses a request: the rule's short, stable identifier ("rule:create-in") and a
// sentence for the caller. The sentence says no more than the caller could see for itself (not
// whether an item exists below a directory it cannot search, nor who owns it).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zel {

struct Refusal {
  std::string_view rule;
  std::string reason;
};

// What the caller of a refused request is told: "refused (rule:create-in): <reason>".
std::string describeRefusal(const Refusal& refusal);

}  // namespace zel
