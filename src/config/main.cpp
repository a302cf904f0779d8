// config, the ripper's options: one dialog. The exit code is how it ended:
// 1 after OK, 2 after Cancel, 0 when the dialog could not be made.
#include <QApplication>

#include "config/main_dlg.h"
#include "widgets/widgets_init.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("config");
  tonvik::InitWidgets();
  try {
    tonvik::CMainDlg dialog;
    return dialog.Run();
  } catch (...) {
    // The side picture's loader has already shown its message box.
    return 0;
  }
}
