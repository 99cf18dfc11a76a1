// The runtime-not-found dialog (template 201): explains which runtime is needed, links to the
// download page and lets the user browse for an installed runtime's folder.
#pragma once

#include "platform/win/windows.h"
#include "runtime/jre_not_found.h"
#include "ui/hyperlink_control.h"

namespace koru {

class JreNotFoundDialog {
 public:
  JreNotFoundDialog(TextView message, JvmType type);

  /// Shows the dialog modally over `owner` (may be none): 1 for OK, 2 for Cancel, anything
  /// else when the dialog could not be created.
  INT_PTR show(HWND owner);

  /// The folder picked last (with a trailing backslash) and its JVM library, empty when the
  /// last pick held none.
  const Text& chosenFolder() const { return picked.folder; }
  const Text& jvmLibraryPath() const { return picked.jvmLibraryPath; }

 private:
  static INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void initialise();
  void browse();
  void centre();

  Text message;
  JvmType jvmType;
  PickedRuntime picked;
  HyperLinkControl link;
  HWND dialog = nullptr;
};

}  // namespace koru
