#include "jvm/java_stop.h"

#include "launcher/java_launcher.h"
#include "platform/platform.h"

namespace koru {

void callJavaStop(JavaLauncher& launcher) {
  // The JVM is published by the Java main thread; read it once, as it stands now.
  JavaVM* vm = __atomic_load_n(&launcher.javaVm, __ATOMIC_ACQUIRE);
  if (vm == nullptr) return;
  JNIEnv* env = nullptr;
  if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return;

  jclass mainClass = env->FindClass(toNarrow(launcher.mainClassName).c_str());
  if (mainClass != nullptr) {
    jmethodID stop = env->GetStaticMethodID(mainClass, "stop", "()V");
    if (stop != nullptr) env->CallStaticVoidMethodA(mainClass, stop, nullptr);
    env->DeleteLocalRef(mainClass);
  }
  // A main class without stop() leaves a NoSuchMethodError here; it is described like any
  // exception stop() itself throws.
  if (env->ExceptionCheck()) env->ExceptionDescribe();

  if (!launcher.vmProvider.ibm.accepted && !launcher.vmProvider.ibm.favoured) {
    vm->DetachCurrentThread();
  }
}

}  // namespace koru
