#include "support/text.h"

#include <cwctype>

namespace koru {

bool isWideSpace(char16_t unit) { return std::iswspace(static_cast<wint_t>(unit)) != 0; }

Text trimmed(TextView text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isWideSpace(text[begin])) ++begin;
  while (end > begin && isWideSpace(text[end - 1])) --end;
  return Text(text.substr(begin, end - begin));
}

namespace {
char16_t asciiLower(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}
}  // namespace

bool equalsIgnoreCase(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

bool startsWith(TextView text, TextView prefix) { return text.substr(0, prefix.size()) == prefix; }

bool endsWith(TextView text, TextView suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

Text replaced(TextView text, char16_t from, char16_t to) {
  Text result(text);
  for (char16_t& unit : result) {
    if (unit == from) unit = to;
  }
  return result;
}

Text withoutUnits(TextView text, TextView units) {
  Text result;
  result.reserve(text.size());
  for (char16_t unit : text) {
    if (units.find(unit) == TextView::npos) result.push_back(unit);
  }
  return result;
}

TextList splitAtSeparator(TextView text, TextView separator) {
  TextList pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t at = text.find(separator, start);
    if (at == TextView::npos) {
      pieces.emplace_back(text.substr(start));
      break;
    }
    pieces.emplace_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  return pieces;
}

Text decimalText(uint64_t value) {
  Text digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

Text decimalText(int64_t value) {
  if (value >= 0) return decimalText(static_cast<uint64_t>(value));
  // Negate in unsigned arithmetic so that the smallest value does not overflow.
  return u"-" + decimalText(0 - static_cast<uint64_t>(value));
}

Text formatText(TextView format, std::initializer_list<FormatArgument> arguments) {
  Text result;
  auto next = arguments.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    char16_t unit = format[i];
    if (unit != u'%' || i + 1 == format.size()) {
      result.push_back(unit);
      continue;
    }
    char16_t directive = format[i + 1];
    if (directive == u'%') {
      result.push_back(u'%');
      ++i;
    } else if ((directive == u's' || directive == u'd') && next != arguments.end()) {
      if (directive == u'd') {
        result += next->isNumber ? decimalText(static_cast<int64_t>(next->number)) : Text(u"0");
      } else if (!next->isNumber) {
        result += next->text;
      }
      ++next;
      ++i;
    } else {
      result.push_back(unit);
    }
  }
  return result;
}

std::string toUtf8(TextView text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

Text fromUtf8(std::string_view text) {
  Text out;
  for (size_t i = 0; i < text.size();) {
    auto byte = static_cast<unsigned char>(text[i]);
    uint32_t cp = byte;
    size_t extra = 0;
    if (byte >= 0xF0) {
      cp = byte & 0x07u;
      extra = 3;
    } else if (byte >= 0xE0) {
      cp = byte & 0x0Fu;
      extra = 2;
    } else if (byte >= 0xC0) {
      cp = byte & 0x1Fu;
      extra = 1;
    }
    ++i;
    for (size_t k = 0; k < extra && i < text.size(); ++k, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace koru
