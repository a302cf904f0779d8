// The predecessor page: when Brellum is registered it is listed and, on Next,
// its uninstaller runs ("/SILENT" "/NORESTART"); the page waits for it, staying
// responsive, for at most the wait bound, then the setup goes on whatever the
// uninstaller did.
#pragma once
#include <sys/types.h>

#include <QElapsedTimer>
#include <chrono>
#include <string>

#include "install/ui/wizard_page.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QTimer;

namespace tonvik::install {

// The predecessor's registration in the machine hive.
inline constexpr char16_t kPredecessorKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brellum_is1";
inline constexpr std::chrono::milliseconds kUninstallWaitBound{60000};

class UninstallDialog : public WizardPage {
  Q_OBJECT
 public:
  static constexpr int kDialogId = 206;
  static constexpr int kBackgroundId = 209;
  static constexpr int kItemHeight = 24;  // pixels

  explicit UninstallDialog(const SetupFonts& fonts, std::chrono::milliseconds wait_bound = kUninstallWaitBound,
                           QWidget* parent = nullptr);
  ~UninstallDialog() override;

  // 1 at once when no predecessor is registered.
  std::optional<int> Open() override;

  QListWidget* list() const { return list_; }
  // The started uninstaller while the page waits for it (-1 otherwise).
  pid_t UninstallerPid() const { return pid_; }

 protected:
  void Next() override;
  void done(int result) override;

 private:
  void Poll();

  std::chrono::milliseconds wait_bound_;
  std::string uninstall_command_;
  pid_t pid_ = -1;
  QElapsedTimer waited_;
  QTimer* poll_ = nullptr;

  QLabel* headline_ = nullptr;        // 1001
  QLabel* status_ = nullptr;          // 1008
  QProgressBar* progress_ = nullptr;  // 1009
  QListWidget* list_ = nullptr;       // 1015
  QLabel* hint_ = nullptr;            // 1016
};

}  // namespace tonvik::install
