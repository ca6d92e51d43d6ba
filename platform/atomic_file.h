// Replaces a file in one step: the new contents are written to a temporary file beside it,
// given root:root ownership and `mode`, flushed to disk and renamed over the old one, so that
// a reader (or systemd) sees either the old file or the complete new one. The directory is
// created (0755) when missing.
//
// Both answer an empty string on success, otherwise what went wrong.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace zel {

std::string replaceFile(const std::string& path, std::string_view contents, mode_t mode);

// As replaceFile, with the contents of the file at `source`.
std::string replaceFileWithCopy(const std::string& path, const std::string& source, mode_t mode);

}  // namespace zel
