// The overwrite policy for output files.
//
// Overwriting never deletes the existing file up front: MayWriteFile only
// decides, and the encoder's finished temporary file is renamed over the old
// one (a rename replaces a read-only file in a writable folder), so a failed
// or cancelled track leaves the old file as it was.
#pragma once
#include <string>

namespace tonvik {

// The user's answer to "The target file already exists. Do you wish to
// overwrite?" with "Remember my choice for all files". Called on the rip job's
// worker thread.
class OverwritePrompt {
 public:
  virtual ~OverwritePrompt() = default;
  struct Answer {
    bool overwrite;
    bool remember;
  };
  virtual Answer AskOverwrite(const std::u16string& path) = 0;
};

// The prompt used by MayWriteFile; nullptr (the default) answers Yes without
// remembering. Not owned.
void SetOverwritePrompt(OverwritePrompt* prompt);

// true = skip the file. Applies AlwaysOverwrite (from a freshly loaded
// Settings record) and the remembered choice of this process.
bool MayWriteFile(const std::u16string& path);

// Forgets the remembered choice (the state otherwise lives for the process).
void ResetOverwriteState();

}  // namespace tonvik
