#include "ui/jre_not_found_dialog.h"

#include <objbase.h>
#include <shlobj.h>

#include "platform/win/wide.h"
#include "support/messages.h"

namespace koru {

namespace {

constexpr int kDialogTemplate = 201;
constexpr int kFolderEdit = 201;
constexpr int kBrowseButton = 202;
constexpr int kMessageText = 203;
constexpr int kErrorIcon = 204;
constexpr int kDownloadLink = 205;

// BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON
constexpr UINT kBrowseFlags = 0x0241;

}  // namespace

JreNotFoundDialog::JreNotFoundDialog(TextView text, JvmType type) : message(text), jvmType(type) {}

INT_PTR JreNotFoundDialog::show(HWND owner) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogTemplate), owner,
                         &JreNotFoundDialog::dialogProcedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK JreNotFoundDialog::dialogProcedure(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<JreNotFoundDialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->dialog = window;
    self->initialise();
    // The system places no initial focus.
    return FALSE;
  }
  auto* self = reinterpret_cast<JreNotFoundDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!self || message != WM_COMMAND) return FALSE;
  // Only the control id counts, not the notification code.
  switch (LOWORD(wParam)) {
    case IDOK:
      EndDialog(window, IDOK);
      return TRUE;
    case IDCANCEL:
      EndDialog(window, IDCANCEL);
      return TRUE;
    case kBrowseButton:
      self->browse();
      return TRUE;
    default:
      return FALSE;
  }
}

void JreNotFoundDialog::initialise() {
  HWND linkControl = GetDlgItem(dialog, kDownloadLink);
  if (linkControl) {
    if (!link.hasNormalFont()) {
      link.setNormalFont(reinterpret_cast<HFONT>(SendMessageW(linkControl, WM_GETFONT, 0, 0)));
    }
    link.attachHyperLink(linkControl);
  }
  SetDlgItemTextW(dialog, kMessageText, W(message));
  SendDlgItemMessageW(dialog, kErrorIcon, STM_SETICON,
                      reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_HAND)), 0);
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  centre();
}

void JreNotFoundDialog::centre() {
  RECT workArea;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0)) {
    workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  RECT own;
  GetWindowRect(dialog, &own);
  LONG width = own.right - own.left;
  LONG height = own.bottom - own.top;

  RECT around = workArea;
  HWND owner = GetWindow(dialog, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);

  LONG left = around.left + ((around.right - around.left) - width) / 2;
  LONG top = around.top + ((around.bottom - around.top) - height) / 2;
  // Back inside the work area, the left and top edges winning over the right and bottom.
  if (left + width > workArea.right) left = workArea.right - width;
  if (top + height > workArea.bottom) top = workArea.bottom - height;
  if (left < workArea.left) left = workArea.left;
  if (top < workArea.top) top = workArea.top;
  SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void JreNotFoundDialog::browse() {
  Text title = loadMessage(kBrowseForJre);
  // The new dialog style of the folder browser needs COM on this thread; the launcher itself
  // does not use COM, so it is set up around the browser only.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  BROWSEINFOW browsing = {};
  browsing.hwndOwner = dialog;
  browsing.pidlRoot = nullptr;
  browsing.pszDisplayName = nullptr;
  browsing.lpszTitle = W(title);
  browsing.ulFlags = kBrowseFlags;
  browsing.lpfn = nullptr;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browsing);
  if (chosen) {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(chosen, path)) path[0] = L'\0';
    CoTaskMemFree(chosen);
    SetDlgItemTextW(dialog, kFolderEdit, path);
    picked = probePickedFolder(ToText(path), jvmType);
    EnableWindow(GetDlgItem(dialog, IDOK), !picked.jvmLibraryPath.empty());
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

bool askForJavaRuntime(TextView message, JvmType type, PickedRuntime& chosen) {
  JreNotFoundDialog dialog(message, type);
  if (dialog.show(GetActiveWindow()) != IDOK) return false;
  chosen.folder = dialog.chosenFolder();
  chosen.jvmLibraryPath = dialog.jvmLibraryPath();
  return true;
}

}  // namespace koru
