#include "daemon/zel_helper.h"

namespace zel {

uint32_t ZelHelper::version() {
  return kInterfaceVersion;
}

}  // namespace zel
