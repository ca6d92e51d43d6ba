// SPDX-License-Identifier: MIT
#include "protocol/wire.h"

#include <fmt/format.h>

namespace zel::wire {
namespace {

uint32_t loadLE32(std::string_view bytes) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

void storeLE32(char* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    std::size_t length;
    uint32_t min;
    uint32_t point;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xe0) == 0xc0) {
      length = 2, min = 0x80, point = lead & 0x1f;
    } else if ((lead & 0xf0) == 0xe0) {
      length = 3, min = 0x800, point = lead & 0x0f;
    } else if ((lead & 0xf8) == 0xf0) {
      length = 4, min = 0x10000, point = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length)
      return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xc0) != 0x80)
        return false;
      point = (point << 6) | (next & 0x3f);
    }
    if (point < min || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff))
      return false;
    i += length;
  }
  return true;
}

}  // namespace

std::optional<std::string> stringProblem(std::string_view text) {
  if (text.size() > kMaxString)
    return fmt::format("string of {} bytes exceeds {}", text.size(), kMaxString);
  if (text.find('\0') != std::string_view::npos)
    return std::string("string holds a NUL byte");
  if (!validUtf8(text))
    return std::string("string is not valid UTF-8");
  return std::nullopt;
}

Writer::Writer() : mBytes(kHeaderSize, '\0') {}

void Writer::u8(uint8_t value) {
  mBytes.push_back(static_cast<char>(value));
}

void Writer::u32(uint32_t value) {
  char bytes[4];
  storeLE32(bytes, value);
  mBytes.append(bytes, 4);
}

void Writer::boolean(bool value) {
  u8(value ? 1 : 0);
}

void Writer::string(std::string_view text) {
  u32(static_cast<uint32_t>(text.size()));
  mBytes.append(text);
}

std::string Writer::frame() && {
  storeLE32(mBytes.data(), static_cast<uint32_t>(mBytes.size() - kHeaderSize));
  return std::move(mBytes);
}

bool Reader::take(std::size_t count, std::string_view& bytes) {
  if (failed())
    return false;
  if (mRest.size() < count) {
    fail(fmt::format("body ends {} bytes short", count - mRest.size()));
    return false;
  }
  bytes = mRest.substr(0, count);
  mRest.remove_prefix(count);
  return true;
}

void Reader::fail(std::string reason) {
  if (!failed())
    mError = std::move(reason);
}

uint8_t Reader::u8() {
  std::string_view bytes;
  return take(1, bytes) ? static_cast<uint8_t>(bytes[0]) : 0;
}

uint32_t Reader::u32() {
  std::string_view bytes;
  return take(4, bytes) ? loadLE32(bytes) : 0;
}

bool Reader::boolean() {
  const uint8_t value = u8();
  if (value > 1)
    fail(fmt::format("boolean byte {} is neither 0 nor 1", value));
  return value == 1;
}

std::string Reader::string() {
  const uint32_t length = u32();
  if (failed())
    return {};
  if (length > kMaxString) {
    fail(fmt::format("string of {} bytes exceeds {}", length, kMaxString));
    return {};
  }
  std::string_view bytes;
  if (!take(length, bytes))
    return {};
  if (auto problem = stringProblem(bytes)) {
    fail(std::move(*problem));
    return {};
  }
  return std::string(bytes);
}

void Reader::expectEnd() {
  if (!failed() && !mRest.empty())
    fail(fmt::format("{} trailing bytes", mRest.size()));
}

std::optional<uint32_t> FrameAssembler::pendingLength() const {
  if (mBuffer.size() < kHeaderSize)
    return std::nullopt;
  return loadLE32(mBuffer);
}

bool FrameAssembler::hasCompleteFrame() const {
  auto length = pendingLength();
  return length && *length <= kMaxFrameBody && mBuffer.size() - kHeaderSize >= *length;
}

FrameAssembler::Status FrameAssembler::next(std::string& body) {
  auto length = pendingLength();
  if (!length)
    return Status::kIncomplete;
  if (*length > kMaxFrameBody)
    return Status::kTooLarge;
  if (mBuffer.size() - kHeaderSize < *length)
    return Status::kIncomplete;
  body.assign(mBuffer, kHeaderSize, *length);
  mBuffer.erase(0, kHeaderSize + *length);
  return Status::kComplete;
}

}  // namespace zel::wire
