#include <cstdio>
#include <cstdlib>
#include <new>

#include "support/failure.h"

namespace koru {

namespace {
void onAllocationFailure() { raiseLauncherError(kErrorOutOfMemory); }
}  // namespace

void raiseLauncherError(uint32_t code) {
  std::fprintf(stderr, "fatal launcher error 0x%08X\n", code);
  std::abort();
}

void raiseBoundsError() { raiseLauncherError(kErrorInvalidArgument); }

void installAllocationFailureHandler() { std::set_new_handler(onAllocationFailure); }

}  // namespace koru
