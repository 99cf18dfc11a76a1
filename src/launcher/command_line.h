#pragma once

#include "support/text.h"

namespace koru {

/// Cuts text into tokens at blanks (U+0020 only); a token that begins with a double quote runs
/// to the next double quote (or the end) and loses both quotes. No escape character exists.
TextList splitArguments(TextView text);

}  // namespace koru
