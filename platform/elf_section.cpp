// SPDX-License-Identifier: MIT
#include "platform/elf_section.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include <fmt/format.h>

namespace zel {
namespace {

struct Elf64 {
  using Header = Elf64_Ehdr;
  using Section = Elf64_Shdr;
  static constexpr unsigned char kClass = ELFCLASS64;
};
struct Elf32 {
  using Header = Elf32_Ehdr;
  using Section = Elf32_Shdr;
  static constexpr unsigned char kClass = ELFCLASS32;
};

// Copies a T out of `image` at `offset`, if all of it lies inside.
template <typename T>
std::optional<T> load(std::string_view image, uint64_t offset) {
  if (offset > image.size() || image.size() - offset < sizeof(T))
    return std::nullopt;
  T value;
  std::memcpy(&value, image.data() + offset, sizeof(T));
  return value;
}

std::optional<std::string_view> slice(std::string_view image, uint64_t offset, uint64_t size) {
  if (offset > image.size() || image.size() - offset < size)
    return std::nullopt;
  return image.substr(offset, size);
}

template <typename Elf>
std::optional<std::string> find(std::string_view image, std::string_view name,
                                std::string& problem) {
  const auto header = load<typename Elf::Header>(image, 0);
  if (!header || header->e_shentsize != sizeof(typename Elf::Section)) {
    problem = "damaged ELF header";
    return std::nullopt;
  }
  auto sectionAt = [&](uint64_t index) {
    return load<typename Elf::Section>(image,
                                       header->e_shoff + index * sizeof(typename Elf::Section));
  };
  // Past 0xff00 sections the real count and string table index live in section 0.
  uint64_t count = header->e_shnum;
  uint64_t namesIndex = header->e_shstrndx;
  if (header->e_shoff != 0 && (count == 0 || namesIndex == SHN_XINDEX)) {
    const auto first = sectionAt(0);
    if (!first) {
      problem = "damaged section table";
      return std::nullopt;
    }
    if (count == 0)
      count = first->sh_size;
    if (namesIndex == SHN_XINDEX)
      namesIndex = first->sh_link;
  }
  if (header->e_shoff == 0 || count == 0 || header->e_shoff > image.size() ||
      count > (image.size() - header->e_shoff) / sizeof(typename Elf::Section)) {
    problem = "no section table";
    return std::nullopt;
  }
  const auto namesSection = namesIndex < count ? sectionAt(namesIndex) : std::nullopt;
  const auto names =
      namesSection ? slice(image, namesSection->sh_offset, namesSection->sh_size) : std::nullopt;
  if (!names) {
    problem = "damaged section name table";
    return std::nullopt;
  }
  for (uint64_t i = 0; i < count; ++i) {
    const auto section = sectionAt(i);
    if (section->sh_name >= names->size())
      continue;
    const std::string_view candidate = names->substr(section->sh_name);
    if (candidate.substr(0, candidate.find('\0')) != name)
      continue;
    if (section->sh_type == SHT_NOBITS)
      break;
    if (const auto bytes = slice(image, section->sh_offset, section->sh_size))
      return std::string(*bytes);
    problem = fmt::format("section {} lies outside the file", name);
    return std::nullopt;
  }
  problem = fmt::format("no section {}", name);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> elfSection(std::string_view image, std::string_view name,
                                      std::string* problem) {
  std::string why;
  std::optional<std::string> contents;
  if (image.size() < EI_NIDENT || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0 ||
      image[EI_DATA] != ELFDATA2LSB) {
    why = "not a little-endian ELF file";
  } else if (image[EI_CLASS] == Elf64::kClass) {
    contents = find<Elf64>(image, name, why);
  } else if (image[EI_CLASS] == Elf32::kClass) {
    contents = find<Elf32>(image, name, why);
  } else {
    why = "unknown ELF class";
  }
  if (!contents && problem != nullptr)
    *problem = std::move(why);
  return contents;
}

std::optional<std::string> readElfSection(const std::string& path, std::string_view name,
                                          std::string* problem) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (problem != nullptr)
      *problem = fmt::format("cannot read {}", path);
    return std::nullopt;
  }
  const std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return elfSection(image, name, problem);
}

}  // namespace zel
