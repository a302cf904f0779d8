#include "core/fatal_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "core/main_flow.h"
#include "core/messages.h"

namespace tonvik {

void ShowFatalMessage(const std::u16string& message) {
  std::string line = FatalLine(message);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  if (!qApp) return;
  QMessageBox box(QMessageBox::Critical, QString::fromStdU16String(kCaption),
                  QString::fromStdU16String(message), QMessageBox::Ok);
  box.setObjectName("FatalMessage");
  box.exec();
}

}  // namespace tonvik
