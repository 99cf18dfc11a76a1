// A scratch folder tree under /tmp for the runtime tests, named in the launcher's backslash
// form (\tmp\koru-rt-XXXXXX\) so that the code under test sees Windows-style paths.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/native_seam.h"
#include "support/paths.h"
#include "support/text.h"

namespace koru {

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/koru-rt-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made != nullptr) native_ = made;
    root_ = replaced(fromUtf8(native_), u'/', u'\\') + u"\\";
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!native_.empty()) std::filesystem::remove_all(native_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool ok() const { return !native_.empty(); }

  /// The root with its trailing backslash.
  const Text& root() const { return root_; }

  /// Creates a file below the root (its folders too) and answers its backslash path.
  Text write(TextView relative, const std::vector<uint8_t>& bytes = {}) {
    Text path = root_ + Text(relative);
    std::filesystem::create_directories(seam::nativePath(folderWithoutSeparator(path)));
    std::ofstream file(seam::nativePath(path), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  /// Creates a folder below the root and answers its backslash path, without a trailing one.
  Text makeFolder(TextView relative) {
    Text path = root_ + Text(relative);
    std::filesystem::create_directories(seam::nativePath(path));
    return path;
  }

  bool exists(TextView relative) const {
    return std::filesystem::exists(seam::nativePath(root_ + Text(relative)));
  }

 private:
  std::string native_;
  Text root_;
};

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
