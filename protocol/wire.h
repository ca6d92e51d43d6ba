// SPDX-License-Identifier: MIT
// The byte format between the helper and its clients.
//
// A message is one frame: a 4-byte little-endian body length, then the body. A call's body is
// the operation number (one byte) followed by its arguments; a reply's body is the result alone
// (empty for an operation without one). Numbers are fixed-width little-endian, a bool is one
// byte 0 or 1, a string is a 4-byte little-endian length followed by that many bytes of UTF-8.
//
// The limits protect the daemon from its callers: a body over kMaxFrameBody, a string over
// kMaxString bytes, a string holding a NUL byte or invalid UTF-8 are malformed, and the daemon
// drops a connection that sends one. Nothing here blocks or allocates beyond one frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zel::wire {

inline constexpr std::size_t kHeaderSize = 4;
inline constexpr std::size_t kMaxFrameBody = 64 * 1024;
inline constexpr std::size_t kMaxString = 4096;

// Why `text` may not travel as a string, or nullopt when it may.
std::optional<std::string> stringProblem(std::string_view text);

// Builds one frame. The header is patched in by frame().
class Writer {
 public:
  Writer();
  void u8(uint8_t value);
  void u32(uint32_t value);
  void boolean(bool value);
  // Writes `text` as it is; callers check stringProblem() first where the text is not trusted.
  void string(std::string_view text);
  // The finished frame, header included.
  std::string frame() &&;

 private:
  std::string mBytes;
};

// Reads one frame body front to back. The first failure is kept in error(); after it every
// read answers a zero value, so a caller may read a whole record and check once.
class Reader {
 public:
  explicit Reader(std::string_view body) : mRest(body) {}
  uint8_t u8();
  uint32_t u32();
  bool boolean();
  std::string string();
  // Records a failure unless bytes are left over.
  void expectEnd();

  bool failed() const { return !mError.empty(); }
  const std::string& error() const { return mError; }

 private:
  bool take(std::size_t count, std::string_view& bytes);
  void fail(std::string reason);

  std::string_view mRest;
  std::string mError;
};

// Cuts a byte stream into frame bodies. Rejects an oversized frame as soon as its header has
// arrived, so a hostile length never makes it buffer more than one frame's worth.
class FrameAssembler {
 public:
  enum class Status { kIncomplete, kComplete, kTooLarge };

  void append(std::string_view bytes) { mBuffer.append(bytes); }
  // Moves the next complete body into `body` (kComplete); kTooLarge leaves the stream unusable.
  Status next(std::string& body);
  // The declared length of the frame at the front, once its header is in.
  std::optional<uint32_t> pendingLength() const;
  // Bytes of an unfinished frame are waiting.
  bool midFrame() const { return !mBuffer.empty(); }
  bool hasCompleteFrame() const;

 private:
  std::string mBuffer;
};

}  // namespace zel::wire
