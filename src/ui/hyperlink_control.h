// A static control taken over to show a clickable link: underlined text in link colours, a
// pointing hand and a tooltip over the text, opened with the shell on a click, Enter or Space.
#pragma once

#include "platform/win/windows.h"
#include "support/text.h"

namespace koru {

class HyperLinkControl {
 public:
  HyperLinkControl() = default;
  ~HyperLinkControl();
  HyperLinkControl(const HyperLinkControl&) = delete;
  HyperLinkControl& operator=(const HyperLinkControl&) = delete;

  /// The font the label is drawn in (underlined); the control does not own it. Set before
  /// attaching; without one the icon-title font is used.
  void setNormalFont(HFONT font) { normalFont = font; }
  bool hasNormalFont() const { return normalFont != nullptr; }

  /// Subclasses the control and initialises the link; label and target default to the
  /// control's own text. A failed subclassing leaves a plain static.
  void attachHyperLink(HWND control);

  /// Opens the target with the shell; marks the link visited when that worked.
  void navigate();

 private:
  static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT passOn(UINT message, WPARAM wParam, LPARAM lParam);

  void computeLinkRect();
  void createLinkFont();
  void registerTarget();
  void readBrowserColours();
  void paint(HDC dc);
  UINT alignment() const;
  bool inLink(LPARAM point) const;
  const Text& shownText() const { return label.empty() ? target : label; }
  void invalidate() { InvalidateRect(window, nullptr, TRUE); }

  HWND window = nullptr;
  WNDPROC previousProcedure = nullptr;
  Text label;
  Text target;
  HCURSOR handCursor = nullptr;
  HFONT normalFont = nullptr;
  HFONT linkFont = nullptr;
  RECT linkRect = {0, 0, 0, 0};
  HWND tooltip = nullptr;
  COLORREF linkColour = RGB(0, 0, 255);
  COLORREF visitedColour = RGB(128, 0, 128);
  bool paintsLabel = true;
  bool visited = false;
  bool ownsLinkFont = false;
  bool ownsNormalFont = false;
};

}  // namespace koru
