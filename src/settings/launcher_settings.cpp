#include "settings/launcher_settings.h"

#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "runtime/java_home.h"
#include "runtime/jre_version.h"
#include "settings/settings_paths.h"
#include "settings/settings_store.h"
#include "support/messages.h"

namespace koru {

namespace {

struct VmProviderRow {
  TextView name;
  VmProvider flags;
};

// Looked up ignoring case, first match wins; an unlisted text keeps the launcher's defaults.
const VmProviderRow kVmProviders[] = {
    {u"jrockit", {{false, false}, {true, true}, {false, false}}},
    {u"ibm", {{false, false}, {false, false}, {true, true}}},
    {u"favor_sun", {{true, true}, {true, false}, {true, false}}},
    {u"favor_jrockit", {{true, false}, {true, true}, {true, false}}},
    {u"favor_ibm", {{true, false}, {true, false}, {true, true}}},
    {u"any", {{true, false}, {true, false}, {true, false}}},
};

void readVersionLimits(LayeredSettings& settings, JavaLauncher& launcher) {
  Text minimum = readSetting(settings, kSectionRuntime, u"Minimum Version");
  if (minimum == u"any") {
    launcher.minimumVersion = JreVersion::all(0);
  } else {
    // A text without a version reads as 0.0.0.0, whatever the fill.
    parseVersion(minimum, 0, launcher.minimumVersion);
  }
  Text maximum = readSetting(settings, kSectionRuntime, u"Maximum Version");
  if (maximum == u"any") {
    launcher.maximumVersion = JreVersion::all(kVersionOpenPart);
  } else {
    parseVersion(maximum, kVersionOpenPart, launcher.maximumVersion);
  }
}

// On NT-family systems, outside service mode, a per-user settings file that exists holds the
// only "JRE Path" there is: an empty value there is not looked up anywhere else.
Text readJrePath(LayeredSettings& settings, const JavaLauncher& launcher) {
  if (isWindowsNt() && !launcher.serviceMode) {
    Text perUserPath = ownPerUserSettingsFilePath(launcher, false);
    if (pathExists(perUserPath)) {
      IniSettingsStore perUser(perUserPath);
      return readSetting(perUser, kSectionRuntime, u"JRE Path");
    }
  }
  return readSetting(settings, kSectionRuntime, u"JRE Path");
}

void readJvmSource(LayeredSettings& settings, JvmSource& source) {
  Text text = readSetting(settings, kSectionRuntime, u"JVM Source");
  if (!text.empty()) source.searchBothKinds = text == u"favor_JRE" || text == u"favor_JDK";
  source.favourJdk = text.empty() || text == u"favor_JDK" || text == u"only_JDK";
  source.favourJre = text.empty() || text == u"favor_JRE" || text == u"only_JRE";
}

void readVmProvider(LayeredSettings& settings, VmProvider& provider) {
  Text text = readSetting(settings, kSectionRuntime, u"VM Provider");
  if (text.empty()) return;
  for (const VmProviderRow& row : kVmProviders) {
    if (equalsIgnoreCase(text, row.name)) {
      provider = row.flags;
      return;
    }
  }
}

}  // namespace

bool isYes(TextView text) { return equalsIgnoreCase(text, u"Yes"); }

bool readLauncherSettings(JavaLauncher& launcher) {
  Text path;
  if (!settingsFilePath(path)) return false;

  // The product's identity comes from the settings file alone: no built-in value, no append
  // section.
  IniSettingsStore plain(path);
  launcher.productCode = readSetting(plain, kSectionProduct, u"Product Code");
  launcher.productName = readSetting(plain, kSectionProduct, u"Product Name");

  LayeredSettings settings(path);
  fillBuiltInSettings(settings);

  readVersionLimits(settings, launcher);

  launcher.serviceMode =
      readSetting(settings, kSectionApplication, u"Application Type") == u"service";
  if (launcher.serviceMode) {
    launcher.omitServiceName =
        !readSetting(settings, kSectionApplication, u"Omit Service Name").empty();
  }

  launcher.preferredVersions =
      splitAtSeparator(readSetting(settings, kSectionRuntime, u"Preferred versions"), u";");

  launcher.jrePath = readJrePath(settings, launcher);

  Text jvmType = readSetting(settings, kSectionRuntime, u"JVM Type");
  launcher.jvmType = kJvmClient;
  if (jvmType == u"server") launcher.jvmType = kJvmServer;
  if (jvmType == u"favor_server") launcher.jvmType = kJvmFavorServer;

  readJvmSource(settings, launcher.jvmSource);
  readVmProvider(settings, launcher.vmProvider);

  Text mainClass = readSetting(settings, kSectionRuntime, u"Main Class");
  if (mainClass.empty()) {
    reportError(loadMessage(kMainClassMissing));
    return false;
  }
  launcher.mainClassName = replaced(mainClass, u'.', u'/');

  launcher.failureCheck = isYes(readSetting(settings, kSectionApplication, u"Failure Check"));
  launcher.overrideWorkingDir =
      isYes(readSetting(settings, kSectionApplication, u"Override WorkingDir"));
  launcher.systemPath = readSetting(settings, kSectionRuntime, u"System Path");
  launcher.libraryPath = readSetting(settings, kSectionRuntime, u"Library Path");
  launcher.pairProduct = readSetting(settings, kSectionApplication, u"Pair Product");
  launcher.pairReturnCode = isYes(readSetting(settings, kSectionApplication, u"Pair Return Code"));
  return true;
}

}  // namespace koru
