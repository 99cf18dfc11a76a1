// Native stand-in of the platform seam. It runs the portable core on Linux for the unit tests:
// backslashes in paths become slashes, narrow text is UTF-8, and the profile functions are
// emulated on plain UTF-8 INI files with the Win32 counting rules.
#include <dirent.h>
#include <dlfcn.h>
#include <fnmatch.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/platform.h"
#include "platform/native_seam.h"

namespace koru {

namespace {
Text gModulePath = u"\\opt\\koru\\koru.exe";
Text gCommandLine = u"koru.exe";
uint64_t gTotalPhysical = 8ull << 30;
uint64_t gAvailableVirtual = 128ull << 40;
bool gWindowsNt = true;
thread_local uint32_t tLastError = 0;

std::string native(TextView path) { return toUtf8(replaced(path, u'\\', u'/')); }
}  // namespace

namespace seam {
void setModulePath(const Text& path) { gModulePath = path; }
void setCommandLine(const Text& commandLine) { gCommandLine = commandLine; }
void setMemory(uint64_t totalPhysical, uint64_t availableVirtual) {
  gTotalPhysical = totalPhysical;
  gAvailableVirtual = availableVirtual;
}
void setWindowsNt(bool nt) { gWindowsNt = nt; }
std::string nativePath(TextView path) { return native(path); }
}  // namespace seam

uint32_t queryModulePath(Text& path) {
  if (gModulePath.empty()) return 5;
  path = gModulePath;
  return 0;
}

Text processCommandLine() { return gCommandLine; }
uint32_t lastSystemError() { return tLastError; }
void useSystemDefaultThreadLocale() {}
uint64_t totalPhysicalMemory() { return gTotalPhysical; }
uint64_t availableVirtualMemory() { return gAvailableVirtual; }
bool isWindowsNt() { return gWindowsNt; }

std::string toNarrow(TextView text) { return toUtf8(text); }
Text fromNarrow(std::string_view text) { return fromUtf8(text); }

Text environmentVariable(TextView name) {
  const char* value = std::getenv(toUtf8(name).c_str());
  return value ? fromUtf8(value) : Text();
}

void setEnvironmentVariable(TextView name, TextView value) {
  setenv(toUtf8(name).c_str(), toUtf8(value).c_str(), 1);
}

bool expandEnvironmentStrings(TextView text, Text& expanded) {
  Text result;
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find(u'%', i);
    size_t close = open == TextView::npos ? open : text.find(u'%', open + 1);
    if (close == TextView::npos) {
      result += text.substr(i);
      break;
    }
    result += text.substr(i, open - i);
    Text name(text.substr(open + 1, close - open - 1));
    const char* value = name.empty() ? nullptr : std::getenv(toUtf8(name).c_str());
    if (value) {
      result += fromUtf8(value);
      i = close + 1;
    } else {
      // An unknown reference stays; its closing % may open the next one.
      result += text.substr(open, close - open);
      i = close;
    }
  }
  expanded = result;
  return true;
}

namespace {
// Splits a pattern into its folder and the name pattern after the last slash.
void splitPattern(const std::string& pattern, std::string& folder, std::string& name) {
  size_t slash = pattern.rfind('/');
  folder = slash == std::string::npos ? "." : pattern.substr(0, slash == 0 ? 1 : slash);
  name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
}
}  // namespace

TextList findEntryNames(TextView pattern) {
  TextList names;
  std::string folder, name;
  splitPattern(native(pattern), folder, name);
  if (name.find_first_of("*?") == std::string::npos) {
    struct stat info;
    if (::stat(native(pattern).c_str(), &info) == 0) {
      names.push_back(fromUtf8(name.empty() ? folder : name));
    }
    return names;
  }
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    if (fnmatch(name.c_str(), entry->d_name, FNM_PERIOD) == 0) names.push_back(fromUtf8(entry->d_name));
  }
  closedir(dir);
  return names;
}

bool findsEntry(TextView path) { return !findEntryNames(path).empty(); }

uint32_t createFolder(TextView path) {
  if (::mkdir(native(path).c_str(), 0755) == 0) return 0;
  return errno == EEXIST ? kErrorAlreadyExists : static_cast<uint32_t>(errno == ENOENT ? 3 : 5);
}

void removeEmptyFolder(TextView path) { ::rmdir(native(path).c_str()); }

bool setCurrentFolder(TextView path) { return ::chdir(native(path).c_str()) == 0; }

bool readFileBytes(TextView path, uint64_t offset, size_t count, std::vector<uint8_t>& bytes) {
  std::ifstream file(native(path), std::ios::binary);
  if (!file) return false;
  file.seekg(static_cast<std::streamoff>(offset));
  std::vector<uint8_t> buffer(count);
  file.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(count));
  if (static_cast<size_t>(file.gcount()) != count) return false;
  bytes = std::move(buffer);
  return true;
}

namespace {

struct IniLine {
  Text section;  // the section the line belongs to; empty before the first header
  Text key;
  Text value;
  bool isHeader = false;
  Text raw;
};

std::vector<IniLine> readIni(TextView path) {
  std::vector<IniLine> lines;
  std::ifstream file(native(path), std::ios::binary);
  if (!file) return lines;
  std::stringstream content;
  content << file.rdbuf();
  Text text = fromUtf8(content.str());
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  Text section;
  for (Text& rawLine : splitAtSeparator(text, u"\n")) {
    if (!rawLine.empty() && rawLine.back() == u'\r') rawLine.pop_back();
    IniLine line;
    line.raw = rawLine;
    Text body = trimmed(rawLine);
    if (!body.empty() && body[0] == u'[') {
      size_t close = body.find(u']');
      section = trimmed(body.substr(1, close == Text::npos ? Text::npos : close - 1));
      line.isHeader = true;
    } else if (size_t eq = body.find(u'='); eq != Text::npos && body[0] != u';') {
      line.key = trimmed(body.substr(0, eq));
      line.value = trimmed(body.substr(eq + 1));
      // The profile functions drop one pair of matching quotes around a value.
      if (line.value.size() >= 2 && (line.value[0] == u'"' || line.value[0] == u'\'') &&
          line.value.back() == line.value[0]) {
        line.value = line.value.substr(1, line.value.size() - 2);
      }
    }
    line.section = section;
    lines.push_back(std::move(line));
  }
  return lines;
}

uint32_t copyCut(TextView value, char16_t* buffer, uint32_t size) {
  if (size == 0) return 0;
  size_t count = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), count * sizeof(char16_t));
  buffer[count] = u'\0';
  return static_cast<uint32_t>(count);
}

}  // namespace

uint32_t readProfileString(TextView section, TextView key, TextView path, char16_t* buffer,
                           uint32_t size) {
  for (const IniLine& line : readIni(path)) {
    if (!line.isHeader && !line.key.empty() && equalsIgnoreCase(line.section, section) &&
        equalsIgnoreCase(line.key, key)) {
      return copyCut(line.value, buffer, size);
    }
  }
  return copyCut(u"", buffer, size);
}

uint32_t readProfileSectionNames(char16_t* buffer, uint32_t size, TextView path) {
  Text list;
  for (const IniLine& line : readIni(path)) {
    if (line.isHeader) list += line.section + u'\0';
  }
  if (size < 2) return 0;
  if (list.size() + 1 > size) {
    // Cut: the list keeps what fits and ends in two zeros, answering size - 2.
    std::memcpy(buffer, list.data(), (size - 2) * sizeof(char16_t));
    buffer[size - 2] = u'\0';
    buffer[size - 1] = u'\0';
    return size - 2;
  }
  std::memcpy(buffer, list.data(), list.size() * sizeof(char16_t));
  buffer[list.size()] = u'\0';
  if (list.empty()) buffer[1] = u'\0';
  return static_cast<uint32_t>(list.size());
}

bool writeProfileString(TextView section, TextView key, TextView value, TextView path) {
  std::vector<IniLine> lines = readIni(path);
  Text out;
  bool written = false;
  bool inSection = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const IniLine& line = lines[i];
    if (line.isHeader && inSection && !written) {
      out += Text(key) + u"=" + Text(value) + u"\r\n";
      written = true;
    }
    inSection = line.isHeader ? equalsIgnoreCase(line.section, section) : inSection;
    if (!written && !line.isHeader && inSection && equalsIgnoreCase(line.key, key)) {
      out += Text(key) + u"=" + Text(value) + u"\r\n";
      written = true;
      continue;
    }
    if (i + 1 < lines.size() || !line.raw.empty()) out += line.raw + u"\r\n";
  }
  if (!written) {
    if (!inSection) out += u"[" + Text(section) + u"]\r\n";
    out += Text(key) + u"=" + Text(value) + u"\r\n";
  }
  std::ofstream file(native(path), std::ios::binary | std::ios::trunc);
  file << toUtf8(out);
  return static_cast<bool>(file);
}

void* loadLibrary(TextView path, uint32_t& error) {
  void* library = dlopen(native(path).c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) error = 126;  // ERROR_MOD_NOT_FOUND
  return library;
}

void* libraryEntry(void* library, const char* name, uint32_t& error) {
  void* entry = dlsym(library, name);
  if (entry == nullptr) error = 127;  // ERROR_PROC_NOT_FOUND
  return entry;
}

namespace {
struct ThreadStart {
  ThreadProc proc;
  void* argument;
  uint32_t exitCode;
};

void* threadTrampoline(void* parameter) {
  auto* start = static_cast<ThreadStart*>(parameter);
  start->exitCode = start->proc(start->argument);
  return nullptr;
}
}  // namespace

bool runThreadAndWait(uint64_t stackSize, ThreadProc proc, void* argument, uint32_t& exitCode) {
  ThreadStart start{proc, argument, 0};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (stackSize != 0) pthread_attr_setstacksize(&attributes, static_cast<size_t>(stackSize));
  pthread_t thread;
  int failed = pthread_create(&thread, &attributes, threadTrampoline, &start);
  pthread_attr_destroy(&attributes);
  if (failed) return false;
  pthread_join(thread, nullptr);
  exitCode = start.exitCode;
  return true;
}

// --- Events and processes --------------------------------------------------------------------

// Events exist only on Windows; the native stand-in has nothing to signal.
void signalEvent(void*) {}


uint32_t startProcess(TextView application, bool waitForExit) {
  pid_t child = fork();
  if (child < 0) return 0;
  if (child == 0) {
    std::string path = seam::nativePath(application);
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  if (!waitForExit) return 0;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 0;
  return static_cast<uint32_t>(WEXITSTATUS(status));
}

// --- Registry, read only ---------------------------------------------------------------------
// An in-memory HKEY_LOCAL_MACHINE per view, filled by the tests. Names compare without regard
// to case, as the registry's do; subkeys enumerate in the order they were added.

namespace {

struct RegistryKey {
  Text name;
  std::vector<RegistryKey> subkeys;
  std::vector<std::pair<Text, Text>> values;
};

RegistryKey gRegistry[2];  // native view, 32-bit view

RegistryKey* registryKey(TextView path, bool use32BitView, bool create) {
  RegistryKey* key = &gRegistry[use32BitView ? 1 : 0];
  for (const Text& part : splitAtSeparator(path, u"\\")) {
    if (part.empty()) continue;
    RegistryKey* next = nullptr;
    for (RegistryKey& subkey : key->subkeys) {
      if (equalsIgnoreCase(subkey.name, part)) next = &subkey;
    }
    if (next == nullptr) {
      if (!create) return nullptr;
      key->subkeys.push_back(RegistryKey{part, {}, {}});
      next = &key->subkeys.back();
    }
    key = next;
  }
  return key;
}

}  // namespace

namespace seam {
void addRegistryKey(TextView key, bool use32BitView, TextView valueName, const Text& data) {
  RegistryKey* added = registryKey(key, use32BitView, true);
  if (!valueName.empty()) added->values.emplace_back(Text(valueName), data);
}

void clearRegistry() {
  gRegistry[0] = RegistryKey();
  gRegistry[1] = RegistryKey();
}
}  // namespace seam

TextList registrySubkeyNames(TextView key, bool use32BitView) {
  TextList names;
  if (const RegistryKey* found = registryKey(key, use32BitView, false)) {
    for (const RegistryKey& subkey : found->subkeys) names.push_back(subkey.name);
  }
  return names;
}

bool readRegistryText(TextView key, TextView name, bool use32BitView, Text& text) {
  const RegistryKey* found = registryKey(key, use32BitView, false);
  if (found == nullptr) return false;
  for (const auto& [valueName, data] : found->values) {
    if (!equalsIgnoreCase(valueName, name)) continue;
    if (data.empty()) return false;
    text = data.substr(0, data.find(u'\0'));
    return true;
  }
  return false;
}

}  // namespace koru
