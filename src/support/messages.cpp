#include "support/messages.h"

#include <cstdio>

#include "platform/platform.h"
#include "support/failure.h"

namespace koru {

namespace {

struct MessageEntry {
  uint16_t id;
  const char16_t* text;
};

// English (United States), the only language of the table.
constexpr MessageEntry kMessages[] = {
    {202, u"Windows exception: %s (errno = %d).\n"},
    {203, u"JNI exception: %s\nReason: %s.\n"},
    {204, u"COM error: %s (errno = %d).\n"},
    {205, u"JNI exception: %s.\n"},
    {206, u"The Java Runtime Environment (JRE) was not found. Please  download and install a JRE "
          u"with a server JVM (%s) from:"},
    {207, u"The Java Runtime Environment (JRE) was not found. Please  download and install a JRE "
          u"(%s) from:"},
    {208, u"failed to get the module path"},
    {209, u"Java Class Path was not specified in INI file."},
    {210, u"Main class was not specified in INI file."},
    {211, u"Failed to load Main Class: %s.\n"},
    {212, u"cannot find CreateJavaVM JNI"},
    {213, u"failed to create the Java VM"},
    {214, u"Browse for JRE folder"},
    {215, u"Could not find the main class %s.\n"},
    {216, u"No main method found in specified class.\n"},
    {217, u"latest version"},
    {218, u"maximum version %s"},
    {219, u"minimum version %s"},
    {220, u"version %s is required"},
    {221, u"version between %s and %s"},
    {222, u"Failed to load Java VM library: %s (errno = %d).\n"},
    {223, u"failed to initialize"},
    {224, u"failed to initialize module"},
    {225, u"unknown"},
    {226, u"thread detached from VM"},
    {227, u"JNI version error"},
    {228, u"not enough memory"},
    {229, u"VM already created"},
    {230, u"invalid arguments"},
};

}  // namespace

Text loadMessage(uint16_t id) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.id == id) return Text(entry.text);
  }
  return Text();
}

Text formatMessage(uint16_t id, std::initializer_list<FormatArgument> arguments) {
  Text format = loadMessage(id);
  if (format.empty()) raiseLauncherError(kErrorFail);
  return formatText(format, arguments);
}

void reportError(TextView message) {
  std::string narrow = toNarrow(message);
  // One formatted call per line keeps lines from different threads whole; the flush keeps the
  // line ahead of anything the JVM writes to the same handle afterwards.
  std::printf("Error: %s \n", narrow.c_str());
  std::fflush(stdout);
}

void reportFormattedError(TextView format, std::initializer_list<FormatArgument> arguments) {
  reportError(formatText(format, arguments));
}

}  // namespace koru
