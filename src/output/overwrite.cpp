#include <sys/stat.h>

#include <mutex>

#include "core/settings.h"
#include "platform/text.h"
#include "output/overwrite.h"

namespace tonvik {

namespace {

// The process-wide overwrite state of one rip job.
struct OverwriteState {
  std::mutex lock;
  bool remembered = false;
  bool skip = false;
  OverwritePrompt* prompt = nullptr;
};

OverwriteState& State() {
  static OverwriteState state;
  return state;
}

}  // namespace

void SetOverwritePrompt(OverwritePrompt* prompt) {
  std::lock_guard guard(State().lock);
  State().prompt = prompt;
}

void ResetOverwriteState() {
  std::lock_guard guard(State().lock);
  State().remembered = false;
  State().skip = false;
}

bool MayWriteFile(const std::u16string& path) {
  struct stat st;
  if (::lstat(ToUtf8(path).c_str(), &st) != 0) return false;
  OverwriteState& s = State();
  std::unique_lock guard(s.lock);
  if (!s.remembered) {
    if (Settings().AlwaysOverwrite) {
      s.remembered = true;
      s.skip = false;
    } else if (OverwritePrompt* prompt = s.prompt) {
      // The prompt blocks on the user; the choice is taken as given.
      guard.unlock();
      const OverwritePrompt::Answer answer = prompt->AskOverwrite(path);
      guard.lock();
      s.remembered = answer.remember;
      s.skip = !answer.overwrite;
    } else {
      s.skip = false;
    }
  }
  // No deletion here: the finished file is renamed over the old one, which
  // also replaces a read-only file (the folder's permissions decide).
  return s.skip;
}

}  // namespace tonvik
