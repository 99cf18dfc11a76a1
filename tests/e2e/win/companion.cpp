// companion.exe: stands in for a paired product that the launcher starts instead of the JVM.
//
// All its files lie beside it:
//   cmdline.txt   written at start: its own command line (GetCommandLineW) as UTF-8, nothing else
//   exitcode.txt  read: its exit code as hex digits (e.g. C0000123); 0 when the file is missing
//   hold          while this file exists (at most a minute) it waits before it ends, so that a
//                 test can tell whether its starter waited for it
//   ended.txt     written last, just before it ends
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring ownFolder() {
  wchar_t path[MAX_PATH * 4];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr,
                      nullptr);
  return bytes;
}

// Written under another name first and then renamed, so that a reader never sees half of it.
void writeFile(const std::wstring& path, const std::string& bytes) {
  std::wstring partial = path + L".partial";
  HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

UINT exitCode(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char digits[32] = {};
  DWORD read = 0;
  ReadFile(file, digits, sizeof digits - 1, &read, nullptr);
  CloseHandle(file);
  return static_cast<UINT>(std::strtoul(digits, nullptr, 16));
}

}  // namespace

int wmain();
int wmain() {
  std::wstring folder = ownFolder();
  writeFile(folder + L"cmdline.txt", utf8(GetCommandLineW()));
  std::wstring hold = folder + L"hold";
  for (int i = 0; i < 1200 && GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
  UINT code = exitCode(folder + L"exitcode.txt");
  writeFile(folder + L"ended.txt", "");
  ExitProcess(code);
}
