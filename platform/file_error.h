// SPDX-License-Identifier: MIT
// Why a file manager operation failed: the errno value and a description that names the path
// component concerned.
#pragma once

#include <string>

namespace zel {

struct FileError {
  int code = 0;
  std::string description;
};

}  // namespace zel
