#include "platform/launchd_plist.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

namespace zel {
namespace {

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
bool readAt(std::string_view image, uint64_t offset, T* out) {
  if (offset > image.size() || image.size() - offset < sizeof(T))
    return false;
  std::memcpy(out, image.data() + offset, sizeof(T));
  return true;
}

// The contents of the 64-bit ELF section named `name`.
std::optional<std::string_view> elfSection(std::string_view image, std::string_view name) {
  Elf64_Ehdr header;
  if (!readAt(image, 0, &header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr)) {
    return std::nullopt;
  }
  Elf64_Shdr names;
  if (!readAt(image, header.e_shoff + uint64_t{header.e_shstrndx} * sizeof(Elf64_Shdr), &names))
    return std::nullopt;
  for (uint16_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr section;
    if (!readAt(image, header.e_shoff + uint64_t{i} * sizeof(Elf64_Shdr), &section))
      return std::nullopt;
    uint64_t nameAt = names.sh_offset + section.sh_name;
    if (nameAt >= image.size() || section.sh_type == SHT_NOBITS)
      continue;
    std::string_view sectionName(image.data() + nameAt,
                                 strnlen(image.data() + nameAt, image.size() - nameAt));
    if (sectionName != name)
      continue;
    if (section.sh_offset > image.size() || image.size() - section.sh_offset < section.sh_size)
      return std::nullopt;
    return image.substr(section.sh_offset, section.sh_size);
  }
  return std::nullopt;
}

// The text of the first element <tag>...</tag> at or after `from`, skipping whitespace only.
std::optional<std::string_view> nextElement(std::string_view xml, size_t& from,
                                            std::string_view tag) {
  size_t at = xml.find_first_not_of(" \t\r\n", from);
  std::string start = fmt::format("<{}>", tag);
  std::string end = fmt::format("</{}>", tag);
  if (at == std::string_view::npos || xml.substr(at, start.size()) != start)
    return std::nullopt;
  size_t close = xml.find(end, at + start.size());
  if (close == std::string_view::npos)
    return std::nullopt;
  from = close + end.size();
  return xml.substr(at + start.size(), close - at - start.size());
}

}  // namespace

std::optional<LaunchdJob> parseLaunchdPlist(std::string_view xml) {
  LaunchdJob job;
  size_t at = xml.find("<key>Label</key>");
  if (at == std::string_view::npos)
    return std::nullopt;
  at += std::strlen("<key>Label</key>");
  std::optional<std::string_view> label = nextElement(xml, at, "string");
  at = xml.find("<key>MachServices</key>");
  if (!label || label->empty() || at == std::string_view::npos)
    return std::nullopt;
  at += std::strlen("<key>MachServices</key>");
  size_t dictAt = xml.find_first_not_of(" \t\r\n", at);
  if (dictAt == std::string_view::npos || xml.substr(dictAt, 6) != "<dict>")
    return std::nullopt;
  at = dictAt + 6;
  std::optional<std::string_view> service = nextElement(xml, at, "key");
  if (!service || service->empty())
    return std::nullopt;
  job.label = *label;
  job.machServiceName = *service;
  return job;
}

std::optional<LaunchdJob> launchdJobOfExecutable(const std::string& path) {
  std::optional<std::string> image = readFile(path);
  if (!image)
    return std::nullopt;
  std::optional<std::string_view> plist = elfSection(*image, "__launchd_plist");
  if (!plist)
    return std::nullopt;
  return parseLaunchdPlist(*plist);
}

}  // namespace zel
