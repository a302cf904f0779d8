// tutorial: opens the user guide of the installed product (AppPath +
// "pellorin.html") in the desktop's browser. The setup starts it once the
// product is installed. Exit code 0 when the desktop took the guide, 1 when
// not (after a message box).
#include <QApplication>
#include <QMessageBox>

#include "core/version.h"
#include "widgets/help_support.h"
#include "widgets/widgets_init.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("tutorial");
  tonvik::InitWidgets();
  const tonvik::CHelpSupport guide(tonvik::HelpContext::UserGuide);
  if (guide.OpenHelp()) return 0;
  QMessageBox::critical(nullptr, QString::fromUtf16(tonvik::kCaption),
                        QStringLiteral("Unable to open the user guide (%1).")
                            .arg(QString::fromStdU16String(guide.HelpPath())));
  return 1;
}
