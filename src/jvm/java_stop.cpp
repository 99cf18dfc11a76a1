#include "jvm/java_stop.h"

#include "jvm/jni_util.h"
#include "launcher/java_launcher.h"

namespace koru {

void callJavaStop(JavaLauncher& launcher) {
  // The JVM is published by the Java main thread; read it once, as it stands now.
  JavaVM* vm = __atomic_load_n(&launcher.javaVm, __ATOMIC_ACQUIRE);
  if (vm == nullptr) return;
  // A main class without stop() leaves a NoSuchMethodError, described like any exception stop()
  // itself throws.
  runAttached(vm, launcher.vmProvider.acceptsIbm(), [&launcher](JNIEnv* env) {
    LocalRef<jclass> mainClass(env, findClassByName(env, launcher.mainClassName));
    if (!mainClass) return;
    jmethodID stop = env->GetStaticMethodID(mainClass.get(), "stop", "()V");
    if (stop != nullptr) env->CallStaticVoidMethodA(mainClass.get(), stop, nullptr);
  });
}

}  // namespace koru
