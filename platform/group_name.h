// SPDX-License-Identifier: MIT
// POSIX names for the groups the helper creates.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zel {

// True when `name` can serve as a group name as it stands: a letter or "_" followed by letters,
// digits, "_", "." or "-", at most 32 bytes. This is a subset of what groupadd accepts, so a
// name that passes is never refused for its form.
bool isValidGroupName(std::string_view name);

// The POSIX name of a new helper group whose full name is `fullName`: "zel-" followed by the full
// name itself when it is a valid group name, otherwise by one derived from it (ASCII letters
// lower-cased, digits kept, every other run of characters turned into one "-"; "Home Users"
// gives "zel-home-users"), without a second "zel-" when that name already begins with one, and
// cut to 32 bytes. When `taken` answers true for that name, "-2", "-3", ... is appended (the
// stem cut to keep 32 bytes) until it does not; nothing when no free name is found within a
// bounded number of tries. The result is valid and depends only on `fullName` and `taken`.
std::optional<std::string> helperGroupName(std::string_view fullName,
                                           const std::function<bool(std::string_view)>& taken);

}  // namespace zel
