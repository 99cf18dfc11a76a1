// UTF-16 text handed to Win32 without copying: wchar_t is 16-bit there.
#pragma once

#include "support/text.h"

namespace koru {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");

inline const wchar_t* W(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* W(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline Text ToText(const wchar_t* text) { return Text(reinterpret_cast<const char16_t*>(text)); }
inline Text ToText(const wchar_t* text, size_t count) {
  return Text(reinterpret_cast<const char16_t*>(text), count);
}

}  // namespace koru
