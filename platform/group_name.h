// POSIX names for the groups the helper creates.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace zel {

// True when `name` can serve as a group name as it stands: a letter or "_" followed by letters,
// digits, "_", "." or "-", at most 32 bytes. This is a subset of what groupadd accepts, so a
// name that passes is never refused for its form.
bool isValidGroupName(std::string_view name);

// The POSIX name of a new group whose full name is `fullName`: the full name itself when it is a
// valid group name, otherwise one derived from it (ASCII letters lower-cased, digits kept, every
// other run of characters turned into one "-"; "Zel Home Users" gives "zel-home-users"). When
// `taken` answers true for that name, "-2", "-3", ... is appended until it does not. The result
// is valid and depends only on `fullName` and `taken`.
std::string posixNameForFullName(std::string_view fullName,
                                 const std::function<bool(std::string_view)>& taken);

}  // namespace zel
