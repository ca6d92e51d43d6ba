// SPDX-License-Identifier: MIT
// Whole reads and writes on a descriptor the caller owns: the one loop for each, going on
// after interruptions (EINTR) and short transfers. For blocking descriptors; sockets that need
// send flags or deadlines keep their own loops.
//
// writeAll and readAll answer an empty string on success, otherwise why they stopped (the
// system's words).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zel {

// Writes all of `data` to `fd`. A write that stores nothing without an error ends it.
std::string writeAll(int fd, std::string_view data);

// Appends everything `fd` has to read, up to its end, to `contents`; on failure `contents`
// holds what was read before it. A regular file is read in one call where possible.
std::string readAll(int fd, std::string& contents);

// Reads one line, a byte at a time so that nothing after it is consumed, and answers it
// without its '\n'. Answers nothing at the end of input, on an error, or when no '\n' comes
// within `limit` bytes.
std::optional<std::string> readLine(int fd, size_t limit);

}  // namespace zel
