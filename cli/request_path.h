// SPDX-License-Identifier: MIT
// The path that a helper command sends for its PATH argument. The daemon takes absolute paths
// only and resolves nothing; a relative PATH means what it means to the user who typed it, so
// it is resolved here, with that user's own rights.
#pragma once

#include <optional>
#include <string>

namespace zel::cli {

// An absolute PATH as it is. A relative one: the real path (realpath) of its longest prefix that
// exists and that this user can see, starting at the working directory, followed by the rest as
// typed. Nothing, with the
// reason in `problem`, when not even the working directory can be resolved.
std::optional<std::string> requestPath(const std::string& argument, std::string* problem);

}  // namespace zel::cli
