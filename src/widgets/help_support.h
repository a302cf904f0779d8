// The help mix-in of the ripper's and the configuration program's dialogs:
// F1 and the help buttons open the help document AppPath + "pellorin.html" at
// the anchor of the dialog's help context, in the desktop's browser.
#pragma once
#include <QUrl>
#include <functional>
#include <string>

#include "core/settings.h"

class QWidget;

namespace tonvik {

// The places in the help document a dialog opens it at: context N is the
// anchor "context-N".
enum class HelpContext : int {
  UserGuide = 0,       // the start of the guide (the tutorial program)
  FormatDialog = 1,    // the ripper's Format dialog
  ProgressDialog = 2,  // the ripper's progress dialog
  Configuration = 3,   // the configuration program's dialog
};
// The same as numbers.
inline constexpr int kHelpContextFormat = static_cast<int>(HelpContext::FormatDialog);
inline constexpr int kHelpContextProgress = static_cast<int>(HelpContext::ProgressDialog);
inline constexpr int kHelpContextConfiguration = static_cast<int>(HelpContext::Configuration);
inline constexpr char16_t kHelpFileName[] = u"pellorin.html";

class CHelpSupport {
 public:
  // What hands the address to the desktop; true when it was accepted.
  using Opener = std::function<bool(const QUrl&)>;

  // Loads a Settings record of its own for AppPath. (The qualified type name:
  // inside the class, HelpContext is the accessor below.)
  explicit CHelpSupport(tonvik::HelpContext context);
  CHelpSupport(tonvik::HelpContext context, const Settings& settings);
  // The context by its number.
  explicit CHelpSupport(int context);
  CHelpSupport(int context, const Settings& settings);

  int HelpContext() const { return context_; }
  // AppPath followed directly by the file name (AppPath ends with '/').
  const std::u16string& HelpPath() const { return help_path_; }
  // file:///.../pellorin.html#context-N
  QUrl HelpUrl() const;

  // Opens the document at the context. Does nothing (false) when AppPath is
  // unknown, the document is not there, or the desktop cannot open it.
  bool OpenHelp() const;

  // Makes F1 anywhere in the dialog open the help.
  void InstallHelpKey(QWidget* dialog) const;

  // Process-wide: tests put their own opener here; null restores
  // QDesktopServices::openUrl.
  static void SetOpener(Opener opener);

 private:
  Settings settings_;
  int context_;
  std::u16string help_path_;
};

// The anchor name of a help context inside the document ("context-1").
QString HelpAnchor(int context);

}  // namespace tonvik
