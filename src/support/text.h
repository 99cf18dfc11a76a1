// Text conventions: every string inside the launcher is UTF-16; lengths and positions count
// code units. Narrow text exists only at the edges (console, JVM options, process interfaces).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace koru {

using Text = std::u16string;
using TextView = std::u16string_view;
using TextList = std::vector<Text>;

/// The blank (U+0020): the only separator of arguments and VM parameters.
inline constexpr char16_t kBlank = u' ';

/// Whether the unit is one of the ASCII digits 0 to 9.
inline bool isAsciiDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

/// Whether the unit is white space in the standard library's wide class (iswspace).
bool isWideSpace(char16_t unit);

/// The text without leading and trailing white space (isWideSpace).
Text trimmed(TextView text);

/// Exact comparison ignoring the case of ASCII letters only.
bool equalsIgnoreCase(TextView a, TextView b);

bool startsWith(TextView text, TextView prefix);
bool endsWith(TextView text, TextView suffix);

/// Every occurrence of `from` replaced by `to`.
Text replaced(TextView text, char16_t from, char16_t to);

/// Every occurrence of any unit of `units` removed.
Text withoutUnits(TextView text, TextView units);

/// Cuts the text at every occurrence of the separator: a separator at the very start or two
/// adjacent ones give empty pieces, a separator at the very end gives no piece after it, an
/// empty text gives no pieces.
TextList splitAtSeparator(TextView text, TextView separator);

/// Decimal text of a number, signed or unsigned.
Text decimalText(int64_t value);
Text decimalText(uint64_t value);

/// One argument of `formatText`: a text for %s or a signed 32-bit number for %d.
struct FormatArgument {
  FormatArgument(TextView value) : isNumber(false), text(value) {}
  FormatArgument(const Text& value) : isNumber(false), text(value) {}
  FormatArgument(const char16_t* value) : isNumber(false), text(value) {}
  FormatArgument(int32_t value) : isNumber(true), number(value) {}
  // A system error code is written as the signed 32-bit number it is in a %d.
  FormatArgument(uint32_t value) : isNumber(true), number(static_cast<int32_t>(value)) {}
  bool isNumber;
  TextView text;
  int32_t number = 0;
};

/// printf-style formatting of %s (text), %d (signed 32-bit) and %%; a directive without a
/// matching argument is written as it stands.
Text formatText(TextView format, std::initializer_list<FormatArgument> arguments);

/// UTF-8 <-> UTF-16 for tests, diagnostics and the native stand-in of the platform seam.
std::string toUtf8(TextView text);
Text fromUtf8(std::string_view text);

}  // namespace koru
