// The completion sound (resource 221), played without waiting for it.
#pragma once

namespace tonvik {

void PlayCompletionSoundAsync();

}  // namespace tonvik
