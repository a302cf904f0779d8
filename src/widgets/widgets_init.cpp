#include "widgets/widgets_init.h"

#include <QApplication>
#include <QMessageBox>

#include "widgets/app_resources.h"
#include "widgets/png_image.h"

namespace tonvik {

void InstallResourceErrorBox() {
  SetResourceErrorSink([](const std::u16string& text) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
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
