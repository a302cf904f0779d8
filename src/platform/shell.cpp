#include "platform/shell.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace tonvik {

std::u16string MusicFolder() {
  QString path = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (path.isEmpty()) return {};
  QDir().mkpath(path);
  return path.toStdU16String();
}

bool StartDetached(const std::u16string& program) {
  return QProcess::startDetached(QString::fromStdU16String(program), {});
}

}  // namespace tonvik
