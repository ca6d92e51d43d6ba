// SPDX-License-Identifier: MIT
#include "tests/operations/operations_support.h"

namespace zel::test {

bool throughDaemon() {
  return false;
}

}  // namespace zel::test
