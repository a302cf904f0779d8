// The folders of an output path.
#pragma once
#include <string>

namespace tonvik {

// Creates the missing folders of a path, top down, by full path; the current
// directory is left alone. Leading and trailing spaces of a created name are
// trimmed. Failures are silent (the file creation reports them).
void EnsureFolder(const std::u16string& folder);

}  // namespace tonvik
