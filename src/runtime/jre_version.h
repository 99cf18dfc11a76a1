// Java runtime version numbers: four signed 32-bit parts (major, minor, micro, update).
#pragma once

#include <cstdint>

#include "support/text.h"

namespace koru {

struct JreVersion {
  int32_t parts[4] = {0, 0, 0, 0};

  static JreVersion all(int32_t value) { return JreVersion{{value, value, value, value}}; }
  bool operator==(const JreVersion& other) const;
  bool operator!=(const JreVersion& other) const { return !(*this == other); }
};

inline constexpr int32_t kVersionOpenPart = 65535;

/// Reads a lenient version text (1.6, 1.6.0_22, jre1.7.0-b147, 10): the first digit run is
/// part 0, any non-digits separate parts, digits after the fourth part are ignored, parts not
/// read get `fill`. False, with all parts 0 and no fill, when the text holds no digit or a part
/// is too large (above 2147483647).
bool parseVersion(TextView text, int32_t fill, JreVersion& version);

/// Lexicographic comparison of the parts: negative, zero or positive.
int compareVersions(const JreVersion& a, const JreVersion& b);

/// Whether `candidate` is what `preferred` asks for; trailing zero parts are wildcards.
bool matchesPreferred(const JreVersion& candidate, const JreVersion& preferred);

/// True when all parts are 0 or all are 65535: a limit that is not given.
bool isUnbounded(const JreVersion& version);

/// The text form for messages: 1.6, 1.6.0.22, "0.0.0.0" when no part counts.
Text formatVersion(const JreVersion& version);

/// The fragment naming the acceptable versions (texts 217 to 221).
Text versionRequirementText(const JreVersion& minimum, const JreVersion& maximum);

}  // namespace koru
