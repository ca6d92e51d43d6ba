// SPDX-License-Identifier: MIT
// Parsing of the local user and group files (passwd and group formats), read whole in one go.
// Lines are taken in file order with the rules of the C library's own parser: leading blanks
// are skipped, empty lines and lines beginning with "#" are comments, and a line with the wrong
// number of fields, an empty name or an id that is not a decimal number is skipped.
#pragma once

#include <string>
#include <vector>

#include "platform/identity_authority.h"

namespace zel {

// Nothing when the file cannot be read.
std::vector<UserIdentity> readUserFile(const std::string& path);
// Full names are the names; no group is marked as created by the helper.
std::vector<GroupIdentity> readGroupFile(const std::string& path);

}  // namespace zel
