// Why a file manager operation failed: the errno value and a description that names the path
// component concerned. `refused` marks a change that a caller's check vetoed; its description
// is the check's reason.
#pragma once

#include <string>

namespace zel {

struct FileError {
  int code = 0;
  std::string description;
  bool refused = false;
};

}  // namespace zel
