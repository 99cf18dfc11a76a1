// Heap and stack options written as a share of memory, and the stack size of "-Xss".
#pragma once

#include <cstdint>

#include "support/text.h"

namespace koru {

/// "-Xms", "-Xmx" or "-Xss" (case matters) ending in 'P', 'p', 'T' or 't'.
bool isMemoryForm(TextView parameter);

/// Rewrites percent[:min MB[:max MB]] of physical (P) or available virtual (T) memory into
/// prefix + kilobytes + "K". Counts that do not fit 32 bits are written in full.
void rewriteMemoryForm(Text& parameter);

/// Bytes of the text after "-Xss" (2m, 1024k, 1g, 1048576); 0 when it does not read.
uint64_t parseStackSize(TextView value);

}  // namespace koru
