#pragma once

#include <cstdint>

namespace koru {

/// Receives the JVM's exit and abort hooks; the service host implements it.
class JvmExitListener {
 public:
  virtual ~JvmExitListener() = default;
  virtual void onJvmExit(int32_t code) = 0;
  virtual void onJvmAbort() = 0;
};

}  // namespace koru
