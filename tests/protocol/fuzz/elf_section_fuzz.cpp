// SPDX-License-Identifier: MIT
// Feeds arbitrary images to the ELF section reader: it must answer or refuse, never read out
// of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/elf_section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  std::string problem;
  zel::elfSection(image, "__launchd_plist", &problem);
  return 0;
}
