#include "launcher/single_instance.h"

#include "jvm/jni_util.h"
#include "launcher/java_launcher.h"
#include "settings/launcher_settings.h"
#include "settings/settings_paths.h"
#include "settings/settings_store.h"

namespace koru {

namespace {

void runSecondaryMain(JNIEnv* env, const Text& mainClassName, const TextList& handedArguments,
                      const std::function<void(jint)>& answer) {
  LocalRef<jclass> mainClass(env, findClassByName(env, mainClassName));
  if (!mainClass) return;
  const char* const kVoidSignature = "([Ljava/lang/String;)V";
  const char* const kIntSignature = "([Ljava/lang/String;)I";
  jmethodID method = env->GetStaticMethodID(mainClass.get(), "secondaryMain", kVoidSignature);
  bool returnsInt = false;
  if (method == nullptr) {
    if (env->ExceptionCheck()) env->ExceptionClear();
    method = env->GetStaticMethodID(mainClass.get(), "secondaryMain", kIntSignature);
    returnsInt = true;
  }
  if (method == nullptr) return;
  LocalRef<jobjectArray> array(env, newJavaStringArray(env, handedArguments));
  if (!array) return;
  if (returnsInt) {
    jint result = env->CallStaticIntMethod(mainClass.get(), method, array.get());
    answer(result);
  } else {
    // The second instance need not wait for a method that gives no answer.
    answer(0);
    env->CallStaticVoidMethod(mainClass.get(), method, array.get());
  }
}

}  // namespace

bool singleInstanceRequested(LayeredSettings& settings) {
  if (readSetting(settings, kSectionApplication, u"Application Type") == u"service") return false;
  // Only the lower-case word switches the mode on.
  return readSetting(settings, kSectionApplication, u"Single Instance") == u"yes";
}

Text instanceObjectName(TextView executablePath) {
  Text name(executablePath);
  for (char16_t& unit : name) {
    if (unit == u'\\') unit = u'_';
  }
  return name;
}

Text instanceObjectName() {
  Text path;
  if (!modulePath(path)) return Text();
  return instanceObjectName(path);
}

bool writeArgumentsToBlock(const TextList& arguments, SingleInstanceBlock& block) {
  size_t needed = 1;
  for (const Text& argument : arguments) {
    needed += argument.size() + 1;
    if (needed > kArgumentAreaUnits) return false;
  }
  char16_t* area = block.argumentArea;
  for (size_t at = 0; at < kArgumentAreaUnits; ++at) area[at] = 0;
  size_t at = 0;
  for (const Text& argument : arguments) {
    for (char16_t unit : argument) area[at++] = unit;
    ++at;  // its terminator
  }
  return true;
}

TextList readArgumentsFromBlock(const SingleInstanceBlock& block) {
  // Another process wrote the area: the walk never leaves it, and text without its final pair of
  // zeros is not taken.
  const char16_t* area = block.argumentArea;
  TextList list;
  Text current;
  for (size_t at = 0; at + 1 < kArgumentAreaUnits; ++at) {
    if (area[at] != 0) {
      current.push_back(area[at]);
      continue;
    }
    list.push_back(current);
    current.clear();
    if (area[at + 1] == 0) return list;
  }
  // No final terminator: only the arguments already closed are taken.
  return list;
}

void callSecondaryMain(JavaLauncher& launcher, const TextList& handedArguments,
                       const std::function<void(jint answer)>& answer) {
  JavaVM* vm = launcher.javaVm;
  if (vm == nullptr) return;
  runAttached(vm, launcher.vmProvider.acceptsIbm(), [&](JNIEnv* env) {
    runSecondaryMain(env, launcher.mainClassName, handedArguments, answer);
  });
}

bool setUpSingleInstance(JavaLauncher& launcher) {
  Text path;
  if (!settingsFilePath(path)) return false;
  LayeredSettings settings(path);
  fillBuiltInSettings(settings);
  if (!singleInstanceRequested(settings)) return true;
  launcher.singleInstance = true;
  return openSharedInstance(launcher);
}

}  // namespace koru
