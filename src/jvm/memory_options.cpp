#include "jvm/memory_options.h"

#include <limits>

#include "platform/platform.h"

namespace koru {

namespace {

constexpr uint64_t kMaxCount = std::numeric_limits<uint64_t>::max();

// Adds one decimal digit; a number too large for 64 bits stays at the largest value instead of
// wrapping to a small one.
uint64_t appendDigit(uint64_t number, char16_t digit) {
  uint64_t value = static_cast<uint64_t>(digit - u'0');
  if (number > (kMaxCount - value) / 10) return kMaxCount;
  return number * 10 + value;
}

uint64_t saturatedProduct(uint64_t a, uint64_t b) {
  if (a != 0 && b > kMaxCount / a) return kMaxCount;
  return a * b;
}

}  // namespace

bool isMemoryForm(TextView parameter) {
  if (!startsWith(parameter, u"-Xms") && !startsWith(parameter, u"-Xmx") &&
      !startsWith(parameter, u"-Xss")) {
    return false;
  }
  char16_t last = parameter.back();
  return last == u'P' || last == u'p' || last == u'T' || last == u't';
}

void rewriteMemoryForm(Text& parameter) {
  size_t first = parameter.find_first_of(u"0123456789:");
  Text prefix = parameter.substr(0, first);

  // percentage : minimum MB : maximum MB, read up to the unit letter; other characters in the
  // stretch are skipped and numbers after the third are ignored.
  uint64_t numbers[3] = {0, 0, 0};
  size_t index = 0;
  for (size_t i = first; first != Text::npos && i + 1 < parameter.size() && index < 3; ++i) {
    if (parameter[i] == u':') {
      ++index;
    } else if (isAsciiDigit(parameter[i])) {
      numbers[index] = appendDigit(numbers[index], parameter[i]);
    }
  }
  const uint64_t percentage = numbers[0];
  const uint64_t minimum = saturatedProduct(numbers[1], 1024);
  const uint64_t maximum = saturatedProduct(numbers[2], 1024);

  char16_t unit = parameter.back();
  uint64_t figure = (unit == u'P' || unit == u'p') ? totalPhysicalMemory() : availableVirtualMemory();
  double share = static_cast<double>(figure >> 10) * (static_cast<double>(percentage) / 100.0);
  // 2^64 as a double: a share at or above it does not fit and is held at the largest count.
  uint64_t kilobytes = share >= 18446744073709551616.0 ? kMaxCount : static_cast<uint64_t>(share);

  if (maximum != 0 && kilobytes > maximum) kilobytes = maximum;
  // The minimum is applied last, so it wins over a conflicting maximum.
  if (minimum > kilobytes) kilobytes = minimum;

  // Written in full as an unsigned count: the 'T' forms reach 2^31 kilobytes and more on a
  // 64-bit address space.
  parameter = prefix + decimalText(kilobytes) + u"K";
}

uint64_t parseStackSize(TextView value) {
  if (value.empty() || !isAsciiDigit(value[0]) || value.find(u':') != TextView::npos) return 0;
  uint64_t unit = 1;
  switch (value.back()) {
    case u'g':
    case u'G':
      unit = 1073741824;
      break;
    case u'k':
    case u'K':
      unit = 1024;
      break;
    case u'm':
    case u'M':
      unit = 1048576;
      break;
    default:
      break;
  }
  uint64_t number = 0;
  for (char16_t ch : value) {
    // A unit letter at the end is not a digit and is skipped like any other letter.
    if (isAsciiDigit(ch)) number = appendDigit(number, ch);
  }
  return saturatedProduct(number, unit);
}

}  // namespace koru
