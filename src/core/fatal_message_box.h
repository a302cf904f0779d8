// The ripper's fatal-error report: a message box with the error icon and the
// product caption, and the same text as one line on standard error.
#pragma once
#include <string>

namespace tonvik {

void ShowFatalMessage(const std::u16string& message);

}  // namespace tonvik
