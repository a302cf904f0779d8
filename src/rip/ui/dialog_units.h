// The dialog units moved to the shared widgets; kept so the rip dialogs' includes stay short.
#pragma once
#include "widgets/dialog_units.h"
