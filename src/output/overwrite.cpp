#include "output/overwrite.h"

#include <sys/stat.h>

#include "core/settings.h"
#include "platform/text.h"

namespace tonvik {

void OverwritePolicy::SetPrompt(OverwritePrompt* prompt) {
  std::lock_guard guard(lock_);
  prompt_ = prompt;
}

bool OverwritePolicy::MayWriteFile(const std::u16string& path) {
  struct stat st;
  if (::lstat(ToUtf8(path).c_str(), &st) != 0) return false;
  std::unique_lock guard(lock_);
  if (!remembered_) {
    if (Settings().AlwaysOverwrite) {
      remembered_ = true;
      skip_ = false;
    } else if (OverwritePrompt* prompt = prompt_) {
      // The prompt blocks on the user; the choice is taken as given.
      guard.unlock();
      const OverwritePrompt::Answer answer = prompt->AskOverwrite(path);
      guard.lock();
      remembered_ = answer.remember;
      skip_ = !answer.overwrite;
    } else {
      skip_ = false;
    }
  }
  // No deletion here: the finished file is renamed over the old one, which
  // also replaces a read-only file (the folder's permissions decide).
  return skip_;
}

}  // namespace tonvik
