// SPDX-License-Identifier: MIT
// Replaces a file in one step: the new contents are written to a temporary file beside it,
// given its owner and `mode`, flushed to disk and renamed over the old one, so that a reader (or
// systemd) sees either the old file or the complete new one. A symbolic link at the file's name
// is replaced, never followed.
//
// All answer an empty string on success, otherwise what went wrong; on failure the old file is
// as it was and no temporary file is left.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace zel {

// The new file belongs to root:root. The directory is created (0755) when missing.
std::string replaceFile(const std::string& path, std::string_view contents, mode_t mode);

// As replaceFile, with the contents of the file at `source`.
std::string replaceFileWithCopy(const std::string& path, const std::string& source, mode_t mode);

// Replaces `name` in the directory open at `directory` (a descriptor the caller keeps, opened
// for reading), so that no link on the way to the directory can redirect the write. The new file
// belongs to this process's effective user and group. `path` names the file in messages.
std::string replaceFileIn(int directory, const std::string& name, const std::string& path,
                          std::string_view contents, mode_t mode);

}  // namespace zel
