#include "install/ui/setup_finish.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <vector>

#include "core/settings.h"
#include "install/ui/task_dialog.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace tonvik::install {

namespace {

enum RebootChoice { kRebootNow = 1, kRebootLater = 2 };

// A REG_SZ up to its terminator; empty when missing or of another type.
std::u16string ReadMachineString(std::u16string_view subkey, std::u16string_view name) {
  const std::optional<reg::Key> key = reg::Key::Open(reg::Root::LocalMachine, subkey);
  return key ? key->QueryString(name).value_or(u"") : std::u16string();
}

}  // namespace

void FinishSetup(bool reboot_required, QWidget* parent) {
  if (reboot_required) {
    OfferReboot(parent);
  } else {
    StartTutorial();
  }
}

bool OfferReboot(QWidget* parent) {
  const int choice = ShowTaskDialog(parent, {.window_title = QString::fromLatin1(kSetupCaption),
                                             .main_instruction = QStringLiteral("Reboot Windows"),
                                             .content = QStringLiteral("To complete installation system restart is required."),
                                             .icon = QMessageBox::Information,
                                             .buttons = {{QStringLiteral("Reboot now"), kRebootNow},
                                                         {QStringLiteral("Reboot later"), kRebootLater}},
                                             .default_id = kRebootNow,
                                             .cancel_id = kRebootLater});
  if (choice != kRebootNow) return false;
  if (RequestReboot()) return true;
  ShowMessageBox(parent, QString::fromLatin1(kSetupCaption), QStringLiteral("Unable to reboot. Please restart system manually."),
                 QMessageBox::Critical);
  return false;
}

bool RequestReboot() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"));
  call << false;  // not interactive: no authentication prompt
  const QDBusMessage reply = bus.call(call);
  return reply.type() == QDBusMessage::ReplyMessage;
}

std::u16string TutorialPath() {
  std::u16string path = ReadMachineString(kProductKey, u"AppPath");
  if (path.empty() || path.back() != u'/') path += u'/';
  return path + u"tutorial";
}

bool StartTutorial() { return StartDetached(TutorialPath()); }

}  // namespace tonvik::install
