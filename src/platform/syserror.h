// System message texts: the text of an errno value, as the system's messages
// quote it ("Cannot access CD drive: %1%.").
#pragma once
#include <string>

namespace tonvik {

// strerror of the code with every trailing '.', LF and CR removed.
std::u16string SystemErrorText(int error_code);

}  // namespace tonvik
