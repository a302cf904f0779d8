// The overwrite policy for output files.
//
// Overwriting never deletes the existing file up front: MayWriteFile only
// decides, and the encoder's finished temporary file is renamed over the old
// one (a rename replaces a read-only file in a writable folder), so a failed
// or cancelled track leaves the old file as it was.
#pragma once
#include <mutex>
#include <string>

namespace tonvik {

// The user's answer to "The target file already exists. Do you wish to
// overwrite?" with "Remember my choice for all files". Called on the thread
// that creates the encoder (the rip job's).
class OverwritePrompt {
 public:
  virtual ~OverwritePrompt() = default;
  struct Answer {
    bool overwrite;
    bool remember;
  };
  virtual Answer AskOverwrite(const std::u16string& path) = 0;
};

// The overwrite choice of one rip: AlwaysOverwrite, else the prompt's answer,
// remembered for the rest of the rip when the user asks for that. Owned by
// the rip session; safe to use from any thread.
class OverwritePolicy {
 public:
  // Without a prompt an existing file is replaced.
  explicit OverwritePolicy(OverwritePrompt* prompt = nullptr) : prompt_(prompt) {}
  OverwritePolicy(const OverwritePolicy&) = delete;
  OverwritePolicy& operator=(const OverwritePolicy&) = delete;

  // The prompt to ask from now on (not owned); nullptr stops asking.
  void SetPrompt(OverwritePrompt* prompt);

  // true = skip the file. Applies AlwaysOverwrite (from a freshly loaded
  // Settings record) and the remembered choice.
  bool MayWriteFile(const std::u16string& path);

 private:
  std::mutex lock_;
  bool remembered_ = false;
  bool skip_ = false;
  OverwritePrompt* prompt_;
};

}  // namespace tonvik
