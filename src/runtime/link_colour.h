// The browser's link colours as the user configured them ("Anchor Color" values such as
// "0,0,255"), read by the link of the runtime-not-found dialog.
#pragma once

#include <cstdint>

#include "support/text.h"

namespace koru {

/// Reads "r,g,b" into a colour in the system's layout (red in the low byte; the low 8 bits of
/// each number count). Each number is a signed decimal with leading blanks, ending at the first
/// other character. False, `colour` untouched, when a comma is missing, nothing follows the
/// second comma, or the red or green number is -1 (the browser's "not set").
bool parseColourTriple(TextView text, uint32_t& colour);

}  // namespace koru
