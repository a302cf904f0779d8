#include "widgets/help_support.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>
#include <mutex>

namespace tonvik {

namespace {
std::mutex opener_mutex;
CHelpSupport::Opener& OpenerSlot() {
  static CHelpSupport::Opener opener;
  return opener;
}

bool Open(const QUrl& url) {
  CHelpSupport::Opener opener;
  {
    std::lock_guard lock(opener_mutex);
    opener = OpenerSlot();
  }
  return opener ? opener(url) : QDesktopServices::openUrl(url);
}
}  // namespace

QString HelpAnchor(int context) { return QStringLiteral("context-%1").arg(context); }

CHelpSupport::CHelpSupport(tonvik::HelpContext context) : CHelpSupport(static_cast<int>(context)) {}

CHelpSupport::CHelpSupport(tonvik::HelpContext context, const Settings& settings)
    : CHelpSupport(static_cast<int>(context), settings) {}

CHelpSupport::CHelpSupport(int context) : CHelpSupport(context, Settings()) {}

CHelpSupport::CHelpSupport(int context, const Settings& settings)
    : settings_(settings), context_(context), help_path_(settings.GetAppPath() + kHelpFileName) {}

QUrl CHelpSupport::HelpUrl() const {
  QUrl url = QUrl::fromLocalFile(QString::fromStdU16String(help_path_));
  url.setFragment(HelpAnchor(context_));
  return url;
}

bool CHelpSupport::OpenHelp() const {
  // Without an installation folder the path would be relative to wherever the
  // program was started; that is not our document.
  if (settings_.AppPath.empty()) return false;
  const QFileInfo document(QString::fromStdU16String(help_path_));
  if (!document.isAbsolute() || !document.isFile()) return false;
  return Open(HelpUrl());
}

void CHelpSupport::InstallHelpKey(QWidget* dialog) const {
  if (!dialog) return;
  // The shortcut belongs to the dialog and carries copies, so it stays valid
  // however the dialog and this mix-in are torn down.
  auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), dialog);
  f1->setContext(Qt::WindowShortcut);
  CHelpSupport copy = *this;
  QObject::connect(f1, &QShortcut::activated, dialog, [copy] { copy.OpenHelp(); });
}

void CHelpSupport::SetOpener(Opener opener) {
  std::lock_guard lock(opener_mutex);
  OpenerSlot() = std::move(opener);
}

}  // namespace tonvik
