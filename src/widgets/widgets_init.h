// Start-up of the shared user-interface pieces in a program with a
// QApplication: registers the resources and reports resource failures in the
// "ERROR" message box.
#pragma once

namespace tonvik {

void InitWidgets();

// The message box of a failing resource step: the system's text, the caption
// "ERROR" and the error icon.
void InstallResourceErrorBox();

}  // namespace tonvik
