// Fatal failures of the text and list layer. They end the process at once through the
// system's handling of an unhandled, non-continuable exception; nothing catches them.
#pragma once

#include <cstdint>

namespace koru {

inline constexpr uint32_t kErrorOutOfMemory = 0x8007000E;
inline constexpr uint32_t kErrorInvalidArgument = 0x80070057;
inline constexpr uint32_t kErrorFail = 0x80004005;
inline constexpr uint32_t kErrorArithmeticOverflow = 0x80070216;

/// Raises the failure for an HRESULT-style code: STATUS_NO_MEMORY for kErrorOutOfMemory,
/// STATUS_ILLEGAL_INSTRUCTION for every other code. Does not return.
[[noreturn]] void raiseLauncherError(uint32_t code);

/// Raises EXCEPTION_ARRAY_BOUNDS_EXCEEDED for a position outside a list. Does not return.
[[noreturn]] void raiseBoundsError();

/// Makes a failed allocation anywhere end the process as kErrorOutOfMemory does.
void installAllocationFailureHandler();

}  // namespace koru
