// SPDX-License-Identifier: MIT
// Reads one named section out of an ELF file on disk: how the property lists embedded in the
// helper executable are read back (for instance the launchd property list of an executable
// about to be installed).
//
// Every offset and size in the file is checked against the file's length before it is used,
// so a damaged or hostile file yields an error, never a read out of bounds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zel {

// The contents of section `name` of the little-endian ELF file (32- or 64-bit) at `path`.
// nullopt when the file cannot be read, is not such a file, or has no section of that name
// with contents; `problem`, when given, then says which.
std::optional<std::string> readElfSection(const std::string& path, std::string_view name,
                                          std::string* problem = nullptr);

// The same, for an ELF image already in memory.
std::optional<std::string> elfSection(std::string_view image, std::string_view name,
                                      std::string* problem = nullptr);

}  // namespace zel
