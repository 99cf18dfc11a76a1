// Small owners of Win32 handles.
#pragma once

#include <utility>

#include "platform/win/windows.h"

namespace koru {

template <class Traits>
class Unique {
 public:
  using Raw = typename Traits::Raw;
  Unique() = default;
  explicit Unique(Raw raw) : raw_(raw) {}
  Unique(Unique&& other) noexcept : raw_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  ~Unique() { reset(); }

  Raw get() const { return raw_; }
  explicit operator bool() const { return raw_ != Traits::invalid(); }
  [[nodiscard]] Raw release() { return std::exchange(raw_, Traits::invalid()); }
  void reset(Raw raw = Traits::invalid()) {
    if (raw_ != Traits::invalid()) {
      DWORD saved = GetLastError();  // callers may still report it
      Traits::close(raw_);
      SetLastError(saved);
    }
    raw_ = raw;
  }

 private:
  Raw raw_ = Traits::invalid();
};

// CreateFileW fails with INVALID_HANDLE_VALUE; CreateFileMappingW, CreateEventW, CreateThread
// and OpenProcess with NULL.
struct FileHandleTraits {
  using Raw = HANDLE;
  static Raw invalid() { return INVALID_HANDLE_VALUE; }
  static void close(Raw raw) { CloseHandle(raw); }
};
struct HandleTraits {
  using Raw = HANDLE;
  static Raw invalid() { return nullptr; }
  static void close(Raw raw) { CloseHandle(raw); }
};
struct FindHandleTraits {
  using Raw = HANDLE;
  static Raw invalid() { return INVALID_HANDLE_VALUE; }
  static void close(Raw raw) { FindClose(raw); }
};

using UniqueFile = Unique<FileHandleTraits>;
using UniqueHandle = Unique<HandleTraits>;
using UniqueFind = Unique<FindHandleTraits>;

}  // namespace koru
