#include "platform/shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tonvik {

std::u16string MusicFolder() {
  QString path = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (path.isEmpty()) return {};
  QDir().mkpath(path);
  return path.toStdU16String();
}

bool OpenFolder(const std::u16string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdU16String(path)));
}

bool StartDetached(const std::u16string& program) {
  return QProcess::startDetached(QString::fromStdU16String(program), {});
}

}  // namespace tonvik
