// trivial.exe: a console program that does nothing, built like koru.exe; the start-up benchmark
// measures it next to koru.exe to tell Wine's own process start-up from the launcher's.
int wmain();
int wmain() { return 0; }
