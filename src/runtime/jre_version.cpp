#include "runtime/jre_version.h"

#include "support/messages.h"

namespace koru {

bool JreVersion::operator==(const JreVersion& other) const {
  for (int i = 0; i < 4; ++i) {
    if (parts[i] != other.parts[i]) return false;
  }
  return true;
}

bool parseVersion(TextView text, int32_t fill, JreVersion& version) {
  version = JreVersion{};
  size_t at = 0;
  int read = 0;
  while (read < 4) {
    while (at < text.size() && !isAsciiDigit(text[at])) ++at;
    if (at == text.size()) break;
    // A part is held wider while it is read, so that ten digits just above the largest signed
    // 32-bit value (2147483648, 2147483649) are refused as too large instead of wrapping.
    int64_t value = 0;
    for (; at < text.size() && isAsciiDigit(text[at]); ++at) {
      value = value * 10 + (text[at] - u'0');
      if (value > INT32_MAX) {
        version = JreVersion{};
        return false;
      }
    }
    version.parts[read++] = static_cast<int32_t>(value);
  }
  if (read == 0) return false;
  for (int i = read; i < 4; ++i) version.parts[i] = fill;
  return true;
}

int compareVersions(const JreVersion& a, const JreVersion& b) {
  for (int i = 0; i < 4; ++i) {
    if (a.parts[i] != b.parts[i]) return a.parts[i] < b.parts[i] ? -1 : 1;
  }
  return 0;
}

bool matchesPreferred(const JreVersion& candidate, const JreVersion& preferred) {
  // Trailing zero parts of the preferred version are wildcards, written or filled in.
  int compared = 4;
  while (compared > 0 && preferred.parts[compared - 1] == 0) --compared;
  for (int i = 0; i < compared; ++i) {
    if (candidate.parts[i] != preferred.parts[i]) return false;
  }
  return true;
}

bool isUnbounded(const JreVersion& version) {
  return version == JreVersion::all(0) || version == JreVersion::all(kVersionOpenPart);
}

Text formatVersion(const JreVersion& version) {
  int last = 3;
  while (last >= 0 && (version.parts[last] == 0 || version.parts[last] == kVersionOpenPart)) --last;
  if (last < 0) return u"0.0.0.0";
  if (last < 1) last = 1;
  Text text = decimalText(int64_t{version.parts[0]});
  for (int i = 1; i <= last; ++i) text += u"." + decimalText(int64_t{version.parts[i]});
  return text;
}

Text versionRequirementText(const JreVersion& minimum, const JreVersion& maximum) {
  bool noMinimum = isUnbounded(minimum);
  bool noMaximum = isUnbounded(maximum);
  if (noMinimum && noMaximum) return loadMessage(kLatestVersion);
  if (noMinimum) return formatText(loadMessage(kMaximumVersion), {formatVersion(maximum)});
  if (noMaximum) return formatText(loadMessage(kMinimumVersion), {formatVersion(minimum)});
  if (minimum == maximum) return formatText(loadMessage(kExactVersion), {formatVersion(minimum)});
  return formatText(loadMessage(kVersionBetween), {formatVersion(minimum), formatVersion(maximum)});
}

}  // namespace koru
