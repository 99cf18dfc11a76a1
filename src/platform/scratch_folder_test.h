// A scratch folder tree for the native unit tests: a fresh folder under /tmp, named in the
// launcher's backslash form (\tmp\koru-<tag>-XXXXXX\) so that the code under test sees
// Windows-style paths. The tree goes away with the object.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/native_seam.h"
#include "support/text.h"

namespace koru {

class ScratchFolder {
 public:
  /// Makes /tmp/koru-`tag`-XXXXXX; ok() tells whether that worked.
  explicit ScratchFolder(std::string_view tag = "scratch") {
    std::string pattern = "/tmp/koru-" + std::string(tag) + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) return;
    native_ = pattern;
    root_ = replaced(fromUtf8(native_), u'/', u'\\') + u"\\";
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (ok()) std::filesystem::remove_all(native_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool ok() const { return !native_.empty(); }

  /// The root with its trailing backslash.
  const Text& root() const { return root_; }

  /// The root without its trailing backslash.
  Text folder() const { return ok() ? root_.substr(0, root_.size() - 1) : Text(); }

  /// A path below the root, in backslash form.
  Text path(TextView relative) const { return root_ + Text(relative); }

  /// Creates (or replaces) a file below the root, its folders too, and answers its path.
  Text write(TextView relative, const std::vector<uint8_t>& bytes = {}) const {
    return writeFile(relative, reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  Text write(TextView relative, std::string_view text) const {
    return writeFile(relative, text.data(), text.size());
  }

  /// Creates a folder below the root (its parents too) and answers its path, without a
  /// trailing backslash.
  Text makeFolder(TextView relative) const {
    Text folderPath = path(relative);
    if (ok()) std::filesystem::create_directories(seam::nativePath(folderPath));
    return folderPath;
  }

  bool exists(TextView relative) const {
    return std::filesystem::exists(seam::nativePath(path(relative)));
  }

 private:
  // Nothing is written without a root: the path would land in the current folder.
  Text writeFile(TextView relative, const char* data, size_t size) const {
    Text filePath = path(relative);
    if (!ok()) return filePath;
    std::filesystem::path file = seam::nativePath(filePath);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(data, static_cast<std::streamsize>(size));
    return filePath;
  }

  std::string native_;
  Text root_;
};

}  // namespace koru
