#include "widgets/open_folder.h"

#include <QDesktopServices>
#include <QUrl>

namespace tonvik {

bool OpenFolder(const std::u16string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdU16String(path)));
}

}  // namespace tonvik
