// The themed look: whether the style that gives the program its look is there,
// and the dialog background that goes with it.
#pragma once
#include <optional>

class QWidget;

namespace tonvik {

// Whether the Fusion style can be made. Checked once per process under a lock
// and cached; any thread may ask.
bool ThemeAvailable();

// The themed page background (a soft top-to-bottom gradient) on a dialog,
// when the theme is available; otherwise the dialog keeps its palette.
void ApplyThemedBackground(QWidget* dialog);

// Tests pin the answer of ThemeAvailable (nullopt: back to the real check).
void OverrideThemeAvailableForTesting(std::optional<bool> available);

}  // namespace tonvik
