// SPDX-License-Identifier: MIT
// A file descriptor owned by one object and closed when that object goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace zel {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : mFd(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : mFd(std::exchange(other.mFd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      mFd = std::exchange(other.mFd, -1);
    }
    return *this;
  }
  ~UniqueFd() { reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return mFd; }
  explicit operator bool() const { return mFd >= 0; }
  void reset() {
    if (mFd >= 0)
      ::close(mFd);
    mFd = -1;
  }

 private:
  int mFd = -1;
};

}  // namespace zel
