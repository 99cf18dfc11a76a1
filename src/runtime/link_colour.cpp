#include "runtime/link_colour.h"

namespace koru {

namespace {

// A signed decimal: leading blanks and one sign, then digits up to the first other unit.
// Held in 64 bits and kept within the 32-bit range, so long digit runs cannot overflow.
int64_t leadingNumber(TextView text) {
  size_t at = 0;
  while (at < text.size() && isWideSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == u'-' || text[at] == u'+')) {
    negative = text[at] == u'-';
    ++at;
  }
  int64_t value = 0;
  for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
    if (value <= INT32_MAX) value = value * 10 + (text[at] - u'0');
  }
  if (value > INT32_MAX) value = negative ? int64_t{INT32_MAX} + 1 : INT32_MAX;
  return negative ? -value : value;
}

}  // namespace

bool parseColourTriple(TextView text, uint32_t& colour) {
  size_t first = text.find(u',');
  if (first == TextView::npos) return false;
  size_t second = text.find(u',', first + 1);
  if (second == TextView::npos) return false;
  int64_t red = leadingNumber(text.substr(0, first));
  int64_t green = leadingNumber(text.substr(first + 1, second - first - 1));
  if (red == -1 || green == -1) return false;
  TextView rest = text.substr(second + 1);
  if (rest.empty()) return false;
  int64_t blue = leadingNumber(rest);
  colour = static_cast<uint32_t>(red & 0xFF) | static_cast<uint32_t>(green & 0xFF) << 8 |
           static_cast<uint32_t>(blue & 0xFF) << 16;
  return true;
}

}  // namespace koru
