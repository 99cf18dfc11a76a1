// The main settings read: fills the launcher's settings members during prepare.
#pragma once

#include "support/text.h"

namespace koru {

class JavaLauncher;

inline constexpr TextView kSectionProduct = u"Product Information";
inline constexpr TextView kSectionRuntime = u"Java Runtime Environment";
inline constexpr TextView kSectionApplication = u"Application";
inline constexpr TextView kSectionClassPath = u"Class Path";

/// Whether a yes-flag text is on: "Yes" ignoring ASCII case.
bool isYes(TextView text);

/// Reads every setting of the main reader into the launcher. False when the settings file has
/// no name, or when "Main Class" is empty (text 210 is reported).
bool readLauncherSettings(JavaLauncher& launcher);

}  // namespace koru
