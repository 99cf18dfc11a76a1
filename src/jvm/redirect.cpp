#include "jvm/redirect.h"

#include "jvm/jni_util.h"
#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "support/paths.h"

namespace koru {

bool redirectStandardStream(JavaLauncher& launcher, TextView path, StandardStream stream) {
  JNIEnv* env = launcher.jniEnv;
  // A folder that cannot be created shows up below as the file stream's own exception.
  createParentFolders(path);

  LocalRef<jstring> pathString(env, newJavaString(env, path));
  if (!pathString) return false;

  LocalRef<jclass> fileClass(env, env->FindClass("java/io/FileOutputStream"));
  if (!fileClass) return false;
  jmethodID fileConstructor = env->GetMethodID(fileClass.get(), "<init>", "(Ljava/lang/String;)V");
  if (fileConstructor == nullptr) return false;
  // Opens the file as FileOutputStream(String) does: created when absent, emptied when present.
  LocalRef<jobject> fileStream(env, env->NewObject(fileClass.get(), fileConstructor, pathString.get()));
  if (!fileStream) return false;

  LocalRef<jclass> printClass(env, env->FindClass("java/io/PrintStream"));
  if (!printClass) return false;
  jmethodID printConstructor = env->GetMethodID(printClass.get(), "<init>", "(Ljava/io/OutputStream;)V");
  if (printConstructor == nullptr) return false;
  LocalRef<jobject> printStream(env, env->NewObject(printClass.get(), printConstructor, fileStream.get()));
  if (!printStream) return false;

  LocalRef<jclass> systemClass(env, env->FindClass("java/lang/System"));
  if (!systemClass) return false;
  const char* setter = stream == StandardStream::output ? "setOut" : "setErr";
  jmethodID setMethod = env->GetStaticMethodID(systemClass.get(), setter, "(Ljava/io/PrintStream;)V");
  if (setMethod == nullptr) return false;
  env->CallStaticVoidMethod(systemClass.get(), setMethod, printStream.get());
  if (env->ExceptionCheck()) {
    env->ExceptionDescribe();
    return false;
  }
  return true;
}

uint32_t createParentFolders(TextView path) {
  if (absolutePathExists(path)) return 0;
  TextList components = splitPathComponents(path);
  if (components.empty()) return 0;

  // The root and the file name are never created; a relative path's first folder counts as
  // its root. A path rooted at the current drive (\logs\out.log) has no root component: its
  // folders are built from the drive's root, where the file stream will look for them.
  bool rootedAtCurrentDrive = path.size() >= 2 && path[0] == u'\\' && path[1] != u'\\';
  size_t firstFolder = rootedAtCurrentDrive ? 0 : 1;
  Text built = rootedAtCurrentDrive ? Text() : components.front();
  TextList created;
  for (size_t index = firstFolder; index + 1 < components.size(); ++index) {
    Text folder = built + u"\\" + components[index];
    uint32_t error = createFolder(folder);
    if (error != 0 && error != kErrorAlreadyExists) {
      // Undo only what this call made, innermost first: a folder that was there before, even
      // an empty one, belongs to the user.
      for (auto folderMade = created.rbegin(); folderMade != created.rend(); ++folderMade) {
        removeEmptyFolder(*folderMade);
      }
      return error;
    }
    if (error == 0) created.push_back(folder);
    built = std::move(folder);
  }
  return 0;
}

bool absolutePathExists(TextView path) {
  if (path.empty()) return false;
  if (path.front() != u'\\' && path.find(u':') == TextView::npos) return false;
  return findsEntry(path);
}

}  // namespace koru
