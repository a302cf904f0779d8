#include "widgets/widgets_init.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>

#include "platform/text.h"

#include "widgets/app_resources.h"
#include "widgets/png_image.h"

namespace tonvik {

void InstallResourceErrorBox() {
  SetResourceErrorSink([](const std::u16string& text) {
    // A message box needs the application and its thread; elsewhere the
    // report goes to standard error.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) {
      std::fprintf(stderr, "ERROR: %s\n", ToUtf8(text).c_str());
      return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ERROR"), QString::fromStdU16String(text),
                    QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ResourceErrorBox"));
    box.exec();
  });
}

void InitWidgets() {
  InitResources();
  InstallResourceErrorBox();
}

}  // namespace tonvik
