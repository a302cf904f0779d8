// The installer's user interface settings, process-wide: the internal UI level
// with its owner window (the engine shows no window of its own at any level),
// and the external handler that receives the installation's messages.
#pragma once
#include <cstdint>
#include <string>

#include "msi.h"

namespace tonvik::msi {

// Windows' rules: the previous level, or INSTALLUILEVEL_NOCHANGE for a level
// that is not one; `window` (when not null) is swapped with the stored owner.
INSTALLUILEVEL SetInternalUI(INSTALLUILEVEL level, void** window);
// Stores the handler, its filter and context; answers the previous handler.
INSTALLUI_HANDLERW SetExternalUI(INSTALLUI_HANDLERW handler, uint32_t filter, void* context);

// Delivers one message to the external handler when one is set and its filter
// takes the message's type. False when the handler answered IDCANCEL.
bool SendMessage(uint32_t type, const std::u16string& text);

}  // namespace tonvik::msi
