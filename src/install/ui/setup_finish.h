// What the setup does after the installation page: the reboot an installer
// asked for, offered to the user, or the installed tutorial.
#pragma once
#include <string>

class QWidget;

namespace tonvik::install {

// The reboot offer when a reboot is required, otherwise the tutorial.
void FinishSetup(bool reboot_required, QWidget* parent = nullptr);

// The task dialog "Reboot Windows"; "Reboot now" asks logind, and a failure
// says so in a message box. True when the reboot was asked for and accepted.
bool OfferReboot(QWidget* parent = nullptr);

// org.freedesktop.login1.Manager.Reboot(false) on the system D-Bus (the bus
// DBUS_SYSTEM_BUS_ADDRESS names, else the system's). True when logind took it.
bool RequestReboot();

// The machine key's AppPath, '/' appended when missing, and "tutorial".
std::u16string TutorialPath();
// Starts the tutorial detached; false when it cannot be started.
bool StartTutorial();

}  // namespace tonvik::install
