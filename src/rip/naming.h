// Output file names and the overwrite policy. Paths use '/' as separator.
//
// Overwriting never deletes the existing file up front: MayWriteFile only
// decides, and the encoder's finished temporary file is renamed over the old
// one (a rename replaces a read-only file in a writable folder), so a failed
// or cancelled track leaves the old file as it was.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "encoders/disc_metadata.h"

namespace tonvik {

// Expands %1 artist, %2 title, %3 album, %4 year, %5 genre, %6 track number
// (index + 1, at least two digits), %7 comment, %8 release identifier. Values
// are filtered; trailing dots go after every value but %4 and %6 and at the
// end. Both '/' and '\' in literal text make a sub-folder and come out as '/'.
std::u16string ExpandTemplate(const DiscMetadata& disc, std::u16string_view tmpl, uint32_t index);

// The text without the nine characters : * ? \ / < > " |
std::u16string FilterName(std::u16string_view name);

// Shortens every component longer than 255 bytes in UTF-8 at a character
// boundary; the last component keeps its extension.
std::u16string FitComponents(std::u16string_view path);

// Creates the missing folders of a path, top down, by full path; the current
// directory is left alone. Leading and trailing spaces of a created name are
// trimmed. Failures are silent (the file creation reports them).
void EnsureFolder(const std::u16string& folder);

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
