#include <new>

#include "platform/win/windows.h"
#include "support/failure.h"

namespace koru {

namespace {
constexpr DWORD kStatusNoMemory = 0xC0000017;
constexpr DWORD kStatusIllegalInstruction = 0xC000001D;
constexpr DWORD kStatusArrayBoundsExceeded = 0xC000008C;

[[noreturn]] void raiseNonContinuable(DWORD status) {
  RaiseException(status, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  // A non-continuable exception never returns; should a debugger force it, end here.
  TerminateProcess(GetCurrentProcess(), status);
  __builtin_unreachable();
}

void onAllocationFailure() { raiseNonContinuable(kStatusNoMemory); }
}  // namespace

void raiseLauncherError(uint32_t code) {
  raiseNonContinuable(code == kErrorOutOfMemory ? kStatusNoMemory : kStatusIllegalInstruction);
}

void raiseBoundsError() { raiseNonContinuable(kStatusArrayBoundsExceeded); }

void installAllocationFailureHandler() { std::set_new_handler(onAllocationFailure); }

}  // namespace koru
