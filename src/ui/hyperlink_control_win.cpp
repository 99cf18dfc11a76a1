#include "ui/hyperlink_control.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win/wide.h"
#include "runtime/link_colour.h"

namespace koru {

namespace {

const wchar_t kLinkProperty[] = L"KoruHyperLink";

// The pointing hand: 'X' black, '.' white, anything else (and the rest of the 32 x 32 square)
// transparent. The fingertip is the hot spot (5, 0).
const char* const kHandArt[] = {
    "     XX",
    "    X..X",
    "    X..X",
    "    X..X",
    "    X..X",
    "    X..XXX",
    "    X..X..XXX",
    "    X..X..X..XX",
    "    X..X..X..X.X",
    "XX  X..X..X..X..X",
    "X..XX........X..X",
    "X...X...........X",
    " X..............X",
    "  X.............X",
    "  X............X",
    "   X...........X",
    "   X..........X",
    "    X.........X",
    "    X........X",
    "     X.......X",
    "     XXXXXXXXX",
};

HCURSOR createHandCursor() {
  uint8_t andMask[32 * 4];
  uint8_t xorMask[32 * 4];
  std::memset(andMask, 0xFF, sizeof andMask);
  std::memset(xorMask, 0, sizeof xorMask);
  int rows = static_cast<int>(sizeof kHandArt / sizeof kHandArt[0]);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < 32 && kHandArt[y][x] != '\0'; ++x) {
      char unit = kHandArt[y][x];
      if (unit != 'X' && unit != '.') continue;
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      andMask[y * 4 + x / 8] &= static_cast<uint8_t>(~bit);
      if (unit == '.') xorMask[y * 4 + x / 8] |= bit;
    }
  }
  return CreateCursor(GetModuleHandleW(nullptr), 5, 0, 32, 32, andMask, xorMask);
}

// A browser colour value: REG_SZ or REG_EXPAND_SZ, NUL-terminated within the 24 bytes read.
bool readColourValue(HKEY key, const wchar_t* name, COLORREF& colour) {
  wchar_t buffer[12];
  DWORD type = 0;
  DWORD size = sizeof buffer;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (size % 2 != 0) return false;
  size_t count = size / 2;
  if (count > 0 && buffer[count - 1] != L'\0') return false;
  uint32_t parsed = 0;
  if (!parseColourTriple(ToText(buffer, count > 0 ? count - 1 : 0), parsed)) return false;
  colour = parsed;
  return true;
}

}  // namespace

HyperLinkControl::~HyperLinkControl() {
  if (handCursor) DestroyCursor(handCursor);
}

void HyperLinkControl::attachHyperLink(HWND control) {
  window = control;
  SetPropW(window, kLinkProperty, this);
  SetLastError(0);
  LONG_PTR previous = SetWindowLongPtrW(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HyperLinkControl::windowProcedure));
  if (previous == 0 && GetLastError() != 0) {
    RemovePropW(window, kLinkProperty);
    window = nullptr;
    return;
  }
  previousProcedure = reinterpret_cast<WNDPROC>(previous);

  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (equalsIgnoreCase(ToText(className), u"static")) {
    LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    if (!(style & SS_NOTIFY)) SetWindowLongPtrW(window, GWL_STYLE, style | SS_NOTIFY);
    LONG_PTR kind = style & 0xFF;
    if ((kind >= 3 && kind <= 9) || (kind >= 13 && kind <= 15)) paintsLabel = false;
  }

  handCursor = createHandCursor();

  if (paintsLabel) {
    if (!normalFont) {
      LOGFONTW font;
      if (SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0)) {
        normalFont = CreateFontIndirectW(&font);
        ownsNormalFont = normalFont != nullptr;
      }
    }
    if (!linkFont) createLinkFont();
  }

  tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                            GetModuleHandleW(nullptr), nullptr);

  if (label.empty()) {
    int length = GetWindowTextLengthW(window);
    if (length > 0) {
      Text text(static_cast<size_t>(length) + 1, u'\0');
      int copied = GetWindowTextW(window, W(&text[0]), length + 1);
      text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
      label = text;
    }
  }

  computeLinkRect();

  if (target.empty() && !label.empty()) target = label;
  if (!target.empty()) registerTarget();

  if (paintsLabel) readBrowserColours();
}

void HyperLinkControl::createLinkFont() {
  if (ownsLinkFont && linkFont) DeleteObject(linkFont);
  linkFont = nullptr;
  ownsLinkFont = false;
  LOGFONTW font;
  HGDIOBJ source = normalFont ? static_cast<HGDIOBJ>(normalFont) : GetStockObject(SYSTEM_FONT);
  if (GetObjectW(source, sizeof font, &font) == 0) return;
  font.lfUnderline = TRUE;
  linkFont = CreateFontIndirectW(&font);
  ownsLinkFont = linkFont != nullptr;
}

void HyperLinkControl::registerTarget() {
  if (!tooltip) return;
  SendMessageW(tooltip, TTM_ACTIVATE, TRUE, 0);
  // The layout without the last reserved member, which every comctl32 version accepts.
  constexpr UINT kToolInfoSize = offsetof(TOOLINFOW, lpReserved);
  static_assert(kToolInfoSize == 64, "TOOLINFOW without lpReserved is 64 bytes on x64");
  TOOLINFOW tool = {};
  tool.cbSize = kToolInfoSize;
  tool.uFlags = 0;
  tool.hwnd = window;
  tool.uId = 1;
  tool.rect = linkRect;
  tool.hinst = GetModuleHandleW(nullptr);
  tool.lpszText = const_cast<wchar_t*>(W(target));
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void HyperLinkControl::readBrowserColours() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings", 0,
                    0x2001F, &key) != ERROR_SUCCESS) {
    return;
  }
  readColourValue(key, L"Anchor Color", linkColour);
  readColourValue(key, L"Anchor Color Visited", visitedColour);
  RegCloseKey(key);
}

UINT HyperLinkControl::alignment() const {
  LONG_PTR kind = GetWindowLongPtrW(window, GWL_STYLE) & 0xFF;
  if (kind == SS_CENTER) return DT_CENTER;
  if (kind == SS_RIGHT) return DT_RIGHT;
  return DT_LEFT;
}

void HyperLinkControl::computeLinkRect() {
  if (!window || shownText().empty()) return;
  GetClientRect(window, &linkRect);
  if (!paintsLabel) return;
  RECT client = linkRect;
  HDC dc = GetDC(window);
  if (!dc) return;
  HGDIOBJ previousFont = linkFont ? SelectObject(dc, linkFont) : nullptr;
  UINT align = alignment();
  const Text& text = shownText();
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &linkRect,
            DT_CALCRECT | DT_WORDBREAK | align);
  if (previousFont) SelectObject(dc, previousFont);
  ReleaseDC(window, dc);
  LONG spare = (client.right - client.left) - (linkRect.right - linkRect.left);
  LONG shift = align == DT_CENTER ? spare / 2 : align == DT_RIGHT ? spare : 0;
  OffsetRect(&linkRect, shift, 0);
}

void HyperLinkControl::paint(HDC dc) {
  RECT client;
  GetClientRect(window, &client);
  HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageW(
      GetParent(window), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
      reinterpret_cast<LPARAM>(window)));
  if (brush) FillRect(dc, &client, brush);
  SetBkMode(dc, TRANSPARENT);
  COLORREF colour = !IsWindowEnabled(window) ? GetSysColor(COLOR_GRAYTEXT)
                    : visited                 ? visitedColour
                                              : linkColour;
  COLORREF previousColour = SetTextColor(dc, colour);
  HFONT font = linkFont ? linkFont : normalFont;
  HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
  const Text& text = shownText();
  RECT area = linkRect;
  DrawTextW(dc, W(text), static_cast<int>(text.size()), &area, DT_WORDBREAK | alignment());
  if (GetFocus() == window) DrawFocusRect(dc, &linkRect);
  SetTextColor(dc, previousColour);
  if (previousFont) SelectObject(dc, previousFont);
}

void HyperLinkControl::navigate() {
  if (target.empty()) return;
  HINSTANCE result =
      ShellExecuteW(nullptr, L"open", W(target), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(result) > 32) {
    visited = true;
    invalidate();
  }
}

bool HyperLinkControl::inLink(LPARAM point) const {
  POINT at = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
  return PtInRect(&linkRect, at) != 0;
}

LRESULT HyperLinkControl::passOn(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(previousProcedure, window, message, wParam, lParam);
}

LRESULT CALLBACK HyperLinkControl::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
  auto* link = static_cast<HyperLinkControl*>(GetPropW(window, kLinkProperty));
  if (!link) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    LRESULT result = link->passOn(message, wParam, lParam);
    if (GetWindowLongPtrW(window, GWLP_WNDPROC) ==
        reinterpret_cast<LONG_PTR>(&HyperLinkControl::windowProcedure)) {
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(link->previousProcedure));
    }
    RemovePropW(window, kLinkProperty);
    link->window = nullptr;
    return result;
  }
  return link->handle(message, wParam, lParam);
}

LRESULT HyperLinkControl::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST && tooltip) {
    MSG relayed = {window, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {0, 0}};
    DWORD position = GetMessagePos();
    relayed.pt.x = static_cast<short>(LOWORD(position));
    relayed.pt.y = static_cast<short>(HIWORD(position));
    SendMessageW(tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
  }
  switch (message) {
    case WM_MOUSEMOVE:
      if (!target.empty() && inLink(lParam)) {
        SetCursor(handCursor);
        return 0;
      }
      break;
    case WM_SETCURSOR:
      if (!target.empty()) {
        POINT at;
        GetCursorPos(&at);
        ScreenToClient(window, &at);
        if (PtInRect(&linkRect, at)) return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      if (inLink(lParam)) {
        SetFocus(window);
        SetCapture(window);
      }
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == window) {
        ReleaseCapture();
        if (inLink(lParam)) navigate();
      }
      return 0;
    case WM_CHAR:
      if (wParam == 13 || wParam == 32) navigate();
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (paintsLabel) {
        invalidate();
        return 0;
      }
      break;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      if (paintsLabel) {
        if (wParam) {
          paint(reinterpret_cast<HDC>(wParam));
        } else {
          PAINTSTRUCT painting;
          HDC dc = BeginPaint(window, &painting);
          if (dc) paint(dc);
          EndPaint(window, &painting);
        }
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      computeLinkRect();
      invalidate();
      return 0;
    case WM_SETFONT:
      if (ownsNormalFont && normalFont) DeleteObject(normalFont);
      ownsNormalFont = false;
      normalFont = reinterpret_cast<HFONT>(wParam);
      if (ownsLinkFont) createLinkFont();
      computeLinkRect();
      if (lParam) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
      }
      return 0;
    case WM_ENABLE:
      invalidate();
      UpdateWindow(window);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(normalFont);
    case WM_UPDATEUISTATE:
      return 0;
    case WM_MOUSELEAVE:
      return 0;
    case WM_DESTROY:
      if (tooltip) DestroyWindow(tooltip);
      tooltip = nullptr;
      if (ownsNormalFont && normalFont) DeleteObject(normalFont);
      if (ownsLinkFont && linkFont) DeleteObject(linkFont);
      normalFont = nullptr;
      linkFont = nullptr;
      ownsNormalFont = false;
      ownsLinkFont = false;
      break;
    default:
      break;
  }
  return passOn(message, wParam, lParam);
}

}  // namespace koru
