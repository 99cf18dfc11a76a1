// Test helpers of the runtime tests: the scratch folder tree, and the first bytes of PE images
// for the JVM libraries written into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/scratch_folder_test.h"

namespace koru {

/// The first bytes of a PE image: a DOS header pointing at NT headers whose file header names
/// `machine`. `fileSize` cuts (or pads) the image.
inline std::vector<uint8_t> peImage(uint16_t machine, uint32_t ntHeaderOffset = 0x80,
                                    size_t fileSize = 0x80 + 24 + 224) {
  std::vector<uint8_t> bytes(0x80 + 24 + 224 > fileSize ? 0x80 + 24 + 224 : fileSize, 0);
  auto put = [&bytes](size_t at, uint32_t value, int width) {
    for (int i = 0; i < width && at + i < bytes.size(); ++i) {
      bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
  };
  put(0, 0x5A4D, 2);  // MZ
  put(0x3C, ntHeaderOffset, 4);
  if (ntHeaderOffset < bytes.size()) {
    put(ntHeaderOffset, 0x00004550, 4);  // PE\0\0
    put(ntHeaderOffset + 4, machine, 2);
  }
  bytes.resize(fileSize);
  return bytes;
}

inline constexpr uint16_t kMachineX86 = 0x014C;
inline constexpr uint16_t kMachineX64 = 0x8664;

}  // namespace koru
