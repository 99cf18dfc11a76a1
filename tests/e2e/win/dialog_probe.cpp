// dialog_probe.exe: finds the launcher's runtime-not-found dialog, records what it shows and
// answers it the way a user would.
//
// Usage: dialog_probe.exe OUTPUT-FILE ACTION [FOLDER]
//   ACTION  cancel   clicks Cancel
//           escape   presses Esc in the dialog
//           close    uses the close box (SC_CLOSE)
//           browse   clicks Browse..., selects FOLDER in the folder browser and confirms it,
//                    records the dialog again, then clicks OK when it is enabled, else Cancel
// It waits up to 30 s for a top-level dialog captioned "JRE Not Found" and writes UTF-8 lines
// to OUTPUT-FILE: "caption TEXT", "owner none|some", "centred yes|no" (on the work area),
// "icon yes|no", "link-dlgcode N" (what control 205 answers to WM_GETDLGCODE), one
// "text ID TEXT" per control 1, 2, 201, 202, 203, 205 and 206 and "ok-enabled 0|1"; after a
// browse, "browsed" and the lines of 201 and OK again. "no-dialog" when none appeared,
// "no-browser" when the folder browser did not. The exit status is 0 when the action was
// carried out, 1 otherwise.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

// The folder browser's "select this path" message (BFFM_SETSELECTIONW); its text pointer is
// read in the browser's own process.
constexpr UINT kSetSelection = WM_USER + 103;

FILE* output = nullptr;

void line(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
  std::fprintf(output, "%s\n", narrow.c_str());
  std::fflush(output);
}

std::wstring controlText(HWND dialog, int id) {
  wchar_t buffer[1024] = {};
  GetDlgItemTextW(dialog, id, buffer, 1024);
  return buffer;
}

void recordControl(HWND dialog, int id) {
  line(L"text " + std::to_wstring(id) + L" " + controlText(dialog, id));
}

void recordOk(HWND dialog) {
  line(std::wstring(L"ok-enabled ") + (IsWindowEnabled(GetDlgItem(dialog, IDOK)) ? L"1" : L"0"));
}

HWND waitForDialog() {
  for (int i = 0; i < 300; ++i) {
    HWND dialog = FindWindowW(L"#32770", L"JRE Not Found");
    if (dialog && IsWindowVisible(dialog)) return dialog;
    Sleep(100);
  }
  return nullptr;
}

struct BrowserSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK findOwned(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<BrowserSearch*>(parameter);
  if (GetWindow(window, GW_OWNER) == search->owner && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND waitForBrowser(HWND dialog) {
  for (int i = 0; i < 200; ++i) {
    BrowserSearch search = {dialog, nullptr};
    EnumWindows(findOwned, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(100);
  }
  return nullptr;
}

void recordDialog(HWND dialog) {
  wchar_t caption[256] = {};
  GetWindowTextW(dialog, caption, 256);
  line(std::wstring(L"caption ") + caption);
  line(std::wstring(L"owner ") + (GetWindow(dialog, GW_OWNER) ? L"some" : L"none"));
  RECT area;
  RECT own;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(dialog, &own);
  long dx = (own.left + own.right) - (area.left + area.right);
  long dy = (own.top + own.bottom) - (area.top + area.bottom);
  line(std::wstring(L"centred ") + (std::labs(dx) <= 2 && std::labs(dy) <= 2 ? L"yes" : L"no"));
  LRESULT icon = SendDlgItemMessageW(dialog, 204, STM_GETICON, 0, 0);
  line(std::wstring(L"icon ") + (icon ? L"yes" : L"no"));
  LRESULT code = SendDlgItemMessageW(dialog, 205, WM_GETDLGCODE, 0, 0);
  line(L"link-dlgcode " + std::to_wstring(code));
  for (int id : {1, 2, 201, 202, 203, 205, 206}) recordControl(dialog, id);
  recordOk(dialog);
}

// Selects `folder` in the browser: the text is written into the browser's process first.
bool selectInBrowser(HWND browser, const std::wstring& folder) {
  DWORD processId = 0;
  GetWindowThreadProcessId(browser, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
  if (!process) return false;
  size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  bool written = remote && WriteProcessMemory(process, remote, folder.c_str(), bytes, nullptr);
  if (written) SendMessageW(browser, kSetSelection, TRUE, reinterpret_cast<LPARAM>(remote));
  CloseHandle(process);
  return written;
}

bool browse(HWND dialog, const std::wstring& folder) {
  PostMessageW(GetDlgItem(dialog, 202), BM_CLICK, 0, 0);
  HWND browser = waitForBrowser(dialog);
  if (!browser) {
    line(L"no-browser");
    return false;
  }
  // The browser fills its tree after it shows.
  Sleep(1000);
  if (!selectInBrowser(browser, folder)) return false;
  Sleep(500);
  PostMessageW(browser, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 100 && IsWindow(browser); ++i) Sleep(100);
  // The dialog probes the folder right after the browser closes.
  Sleep(300);
  line(L"browsed");
  recordControl(dialog, 201);
  recordOk(dialog);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  output = _wfopen(argv[1], L"w");
  if (!output) return 2;
  std::wstring action = argv[2];
  HWND dialog = waitForDialog();
  if (!dialog) {
    line(L"no-dialog");
    return 1;
  }
  Sleep(200);
  recordDialog(dialog);
  bool done = true;
  if (action == L"cancel") {
    PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  } else if (action == L"escape") {
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  } else if (action == L"close") {
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (action == L"browse" && argc > 3) {
    done = browse(dialog, argv[3]);
    bool okEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    PostMessageW(GetDlgItem(dialog, okEnabled ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
  } else {
    done = false;
  }
  std::fclose(output);
  return done ? 0 : 1;
}
