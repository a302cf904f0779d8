// The four fonts of the setup's pages, made once at start from the desktop's
// user-interface font family.
#pragma once
#include <QFont>

namespace tonvik::install {

struct SetupFonts {
  QFont small;  // the desktop font's own size, weight 400: hints, the removal list
  QFont text;   // 10 points, 400: subtitles, headlines, status lines, descriptions, link labels
  QFont bold;   // 10 points, 700: component names
  QFont title;  // 16 points, 400: page titles

  // From the application font (the desktop's UI font). Needs a QGuiApplication.
  static SetupFonts FromDesktop();
};

}  // namespace tonvik::install
