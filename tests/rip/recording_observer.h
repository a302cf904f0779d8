// A RipObserver for tests: records what the job reported, thread-safely.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "rip/job_observer.h"

namespace tonvik::testing {

class RecordingObserver : public RipObserver {
 public:
  void SetCurrentTrackText(const std::u16string& text) override {
    std::lock_guard l(m_);
    current_ = text;
    texts.push_back(text);
  }
  std::u16string CurrentTrackText() override {
    std::lock_guard l(m_);
    return current_;
  }
  void ResetTrackBar(int32_t bytes) override {
    std::lock_guard l(m_);
    track_ranges.push_back(bytes);
  }
  void ResetTotalBar(int32_t bytes) override { total_range = bytes; }
  void AddError(const std::u16string& entry) override {
    std::lock_guard l(m_);
    errors.push_back(entry);
  }
  void PlayCompletionSound() override { ++sounds; }
  void OpenOutputFolder(const std::u16string& folder) override {
    std::lock_guard l(m_);
    opened.push_back(folder);
  }
  void JobFinished() override { ++finished; }

  std::vector<std::u16string> Errors() {
    std::lock_guard l(m_);
    return errors;
  }
  std::vector<std::u16string> Texts() {
    std::lock_guard l(m_);
    return texts;
  }

  std::vector<std::u16string> texts, errors, opened;
  std::vector<int32_t> track_ranges;
  std::atomic<int32_t> total_range{0};
  std::atomic<int> sounds{0}, finished{0};

 private:
  std::mutex m_;
  std::u16string current_;
};

}  // namespace tonvik::testing
