// SPDX-License-Identifier: MIT
#include "tests/operations/operations_support.h"

namespace zel::test {

bool throughDaemon() {
  return true;
}

}  // namespace zel::test
