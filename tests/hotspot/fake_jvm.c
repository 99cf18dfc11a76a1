/* A library that looks like a JVM library but lacks one of its two entry points. */
#ifdef KORU_EXPORT_CREATE
int JNI_CreateJavaVM(void** vm, void** env, void* arguments) {
  (void)vm;
  (void)env;
  (void)arguments;
  return -1;
}
#else
int JNI_GetDefaultJavaVMInitArgs(void* arguments) {
  (void)arguments;
  return -1;
}
#endif
