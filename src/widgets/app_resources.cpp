#include "widgets/app_resources.h"

#include <QFile>
#include <mutex>

// Q_INIT_RESOURCE declares a function at global scope, so it cannot be used
// inside the namespace; linked from a static library the resources would not
// register themselves.
static void RegisterTonvikResources() { Q_INIT_RESOURCE(tonvik); }

namespace tonvik {

void InitResources() {
  static std::once_flag once;
  std::call_once(once, RegisterTonvikResources);
}

QString PngResourcePath(int resource_id) { return QStringLiteral(":/png/%1.png").arg(resource_id); }

QIcon AppIcon() {
  InitResources();
  QIcon icon;
  for (int size : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/icon/%1-%2.png").arg(kAppIconId).arg(size), QSize(size, size));
  }
  return icon;
}

QIcon TrayIcon(int index) {
  InitResources();
  if (index < 0 || index >= kTrayIconCount) return QIcon();
  return QIcon(QStringLiteral(":/icon/%1.png").arg(kFirstTrayIconId + index));
}

QString SoundResourcePath(int resource_id) { return QStringLiteral(":/sound/%1.wav").arg(resource_id); }

QUrl SoundUrl(int resource_id) { return QUrl(QStringLiteral("qrc:/sound/%1.wav").arg(resource_id)); }

QByteArray SoundBytes(int resource_id) {
  InitResources();
  QFile file(SoundResourcePath(resource_id));
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

QByteArray HelpDocumentBytes() {
  InitResources();
  QFile file(QStringLiteral(":/help/pellorin.html"));
  if (!file.open(QIODevice::ReadOnly)) return QByteArray();
  return file.readAll();
}

}  // namespace tonvik
