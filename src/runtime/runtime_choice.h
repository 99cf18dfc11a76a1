// The runtime-choice settings: JVM type, JDK/JRE source and vendor flags.
#pragma once

#include <cstdint>

namespace koru {

/// "JVM Type": client (the default and any unknown text), server, favor_server. Any other
/// number behaves as client.
using JvmType = int32_t;
inline constexpr JvmType kJvmClient = 0;
inline constexpr JvmType kJvmServer = 1;
inline constexpr JvmType kJvmFavorServer = 2;

/// "JVM Source": which registry trees are searched and which kind is preferred.
struct JvmSource {
  bool favourJdk = false;
  bool favourJre = false;
  bool searchBothKinds = true;
};

/// "VM Provider": which vendors' runtimes are accepted and which one is favoured.
struct VmProvider {
  struct Vendor {
    bool accepted = false;
    bool favoured = false;
  };
  Vendor javaSoft{true, true};
  Vendor jRockit;
  Vendor ibm;

  /// IBM runtimes accepted or favoured: threads attached to their JVM must not detach.
  bool acceptsIbm() const { return ibm.accepted || ibm.favoured; }
};

}  // namespace koru
