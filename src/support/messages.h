// The message table (ids 202 to 230) and the console error line.
#pragma once

#include <cstdint>

#include "support/text.h"

namespace koru {

enum MessageId : uint16_t {
  kWindowsException = 202,
  kJniExceptionReason = 203,
  kComError = 204,
  kJniException = 205,
  kJreNotFoundServer = 206,
  kJreNotFound = 207,
  kModulePathFailed = 208,
  kClassPathMissing = 209,
  kMainClassMissing = 210,
  kMainClassLoadFailed = 211,
  kCreateJavaVmMissing = 212,
  kCreateJvmFailed = 213,
  kBrowseForJre = 214,
  kMainClassNotFound = 215,
  kMainMethodNotFound = 216,
  kLatestVersion = 217,
  kMaximumVersion = 218,
  kMinimumVersion = 219,
  kExactVersion = 220,
  kVersionBetween = 221,
  kJvmLibraryLoadFailed = 222,
  kInitializeFailed = 223,
  kInitializeModuleFailed = 224,
  kJniReasonUnknown = 225,
  kJniReasonDetached = 226,
  kJniReasonVersion = 227,
  kJniReasonNoMemory = 228,
  kJniReasonExists = 229,
  kJniReasonInvalid = 230,
};

/// The text of `id`, or an empty text when the table has none.
Text loadMessage(uint16_t id);

/// The text of `id` used as a printf-style format; a missing text is a fatal failure.
Text formatMessage(uint16_t id, std::initializer_list<FormatArgument> arguments);

/// Writes "Error: <message> \n" to standard output as one line of narrow text.
void reportError(TextView message);

/// Formats `format` (a text from loadMessage) and reports the result through reportError.
void reportFormattedError(TextView format, std::initializer_list<FormatArgument> arguments);

}  // namespace koru
