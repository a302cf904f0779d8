// A CUE/BIN disc image: the sheet parsed into a disc layout (tracks, sessions,
// lead-out) and raw 2352-byte sectors read by LBA from the BIN files.
//
// Layout rules: the BIN files follow each other in the address space in sheet
// order; INDEX times count from the start of their file. PREGAP inserts
// silent sectors that no file holds, directly before the track's first index.
// The first track of a second session (REM SESSION 02) starts after the gap a
// pressed enhanced CD has between sessions: lead-out 6750 + lead-in 4500 +
// the track's pregap (150 unless the sheet gives one), so the last track of
// session 1 runs up to it in the TOC. Sectors no file holds read as zeros.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tonvik::cdrom {

inline constexpr int kSectorBytes = 2352;
inline constexpr int32_t kSessionLeadOut = 6750;  // sectors
inline constexpr int32_t kSessionLeadIn = 4500;   // sectors

struct CueTrack {
  enum Mode { Audio, Mode1, Mode2 };
  int number = 0;
  Mode mode = Audio;
  int32_t start_lba = 0;    // INDEX 01
  int32_t index0_lba = -1;  // INDEX 00, -1 when the sheet has none
  int session = 1;
  uint8_t control() const { return mode == Audio ? 0 : 4; }
};

class CueImage {
 public:
  // nullptr with a message naming the line when the sheet cannot be used.
  static std::unique_ptr<CueImage> Load(const std::string& cue_path, std::string* error);
  ~CueImage();
  CueImage(const CueImage&) = delete;
  CueImage& operator=(const CueImage&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<CueTrack>& tracks() const { return tracks_; }
  int32_t lead_out() const { return lead_out_; }
  int sessions() const { return tracks_.empty() ? 0 : tracks_.back().session; }

  // Raw sector; false when lba is outside [0, lead_out) or the file read fails.
  bool ReadSector(int32_t lba, uint8_t* out) const;

 private:
  CueImage() = default;
  // A stretch of the address space: from a file, or (fd == -1) zeros.
  struct Extent {
    int32_t first_lba;
    int32_t count;
    int fd;
    int64_t file_sector;
  };
  friend class CueParser;
  std::string path_;
  std::vector<CueTrack> tracks_;
  std::vector<Extent> extents_;
  std::vector<int> fds_;
  int32_t lead_out_ = 0;
};

}  // namespace tonvik::cdrom
