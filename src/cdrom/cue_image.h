// A cue sheet image: the sheet parsed into a disc layout (tracks, sessions,
// lead-out) and raw 2352-byte sectors read by LBA from the files it names
// (raw BINARY or byte-swapped MOTOROLA images, WAVE files holding WAV or
// FLAC; see image_audio.h).
//
// Layout rules: the files follow each other in the address space in sheet
// order; INDEX times count from the start of their file. A track's first
// index may lie in the file before its INDEX 01 (gaps appended to the
// previous track's file). PREGAP inserts silent sectors that no file holds,
// directly before the track's first index; POSTGAP inserts them after the
// track's last sector. The first track of a second session (REM SESSION 02)
// starts after the gap a pressed enhanced CD has between sessions: lead-out
// 6750 + lead-in 4500 + the track's pregap (150 unless the sheet gives one),
// so the last track of session 1 runs up to it in the TOC. Sectors no file
// holds, and the end of a last sector a file fills only partly, read as zeros.
//
// The sheet may be UTF-8 (with or without a byte-order mark), UTF-16 with a
// byte-order mark or Windows-1252, and name files the Windows way (see
// cue_text.h). What the disc says besides its audio (CATALOG, ISRC, TITLE,
// PERFORMER, SONGWRITER) is kept for the drive's sub-channel and CD-Text
// answers; those lines never make a sheet unusable and never move a sector.
// CDTEXTFILE, REM, and commands it does not know are passed over.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cdrom/image_audio.h"

namespace tonvik::cdrom {

inline constexpr int kSectorBytes = 2352;
inline constexpr int32_t kSessionLeadOut = 6750;  // sectors
inline constexpr int32_t kSessionLeadIn = 4500;   // sectors

// The CONTROL bits of the sheet's FLAGS: pre-emphasis, digital copy
// permitted, four-channel audio. Data tracks add 0x04.
inline constexpr uint8_t kControlPreEmphasis = 0x01;
inline constexpr uint8_t kControlCopyPermitted = 0x02;
inline constexpr uint8_t kControlFourChannel = 0x08;

// What the sheet says of the whole disc (UTF-8, unchecked).
struct CueDiscText {
  std::string catalog, title, performer, songwriter;
};

struct CueTrack {
  enum Mode { Audio, Mode1, Mode2 };
  int number = 0;
  Mode mode = Audio;
  int32_t start_lba = 0;    // INDEX 01
  int32_t index0_lba = -1;  // INDEX 00, -1 when the sheet has none
  int session = 1;
  uint8_t flags = 0;        // kControl* bits from FLAGS
  // The first sector of the track's pregap (index 00): its PREGAP silence,
  // else its INDEX 00; -1 when it has neither. The first track of a second
  // session has one always (150 sectors unless the sheet gives one).
  int32_t pregap_lba = -1;
  std::vector<int32_t> later_indexes;  // INDEX 02, 03, ... in order
  // As the sheet wrote them (UTF-8); the ISRC unchecked.
  std::string isrc, title, performer, songwriter;
  uint8_t control() const { return uint8_t((mode == Audio ? 0 : 4) | flags); }
};

class CueImage {
 public:
  // nullptr when the sheet cannot be used, with a message for the user that
  // names the sheet and the line: album.cue line 7: "Track 07.wav" not found
  static std::unique_ptr<CueImage> Load(const std::string& cue_path, std::string* error);
  ~CueImage();
  CueImage(const CueImage&) = delete;
  CueImage& operator=(const CueImage&) = delete;

  const std::string& path() const { return path_; }
  const std::vector<CueTrack>& tracks() const { return tracks_; }
  int32_t lead_out() const { return lead_out_; }
  int sessions() const { return tracks_.empty() ? 0 : tracks_.back().session; }
  const CueDiscText& disc_text() const { return disc_text_; }

  // Raw sector; false when lba is outside [0, lead_out) or the file read fails.
  bool ReadSector(int32_t lba, uint8_t* out) const;
  // count raw sectors from lba, each file read once: false when any of them
  // is outside [0, lead_out) or cannot be read.
  bool ReadSectors(int32_t lba, int32_t count, uint8_t* out) const;

 private:
  CueImage() = default;
  // A stretch of the address space: from a file, or (file == -1) zeros.
  struct Extent {
    int32_t first_lba;
    int32_t count;
    int file;  // index into files_
    int64_t file_sector;
  };
  friend class CueParser;
  std::string path_;
  std::vector<CueTrack> tracks_;
  CueDiscText disc_text_;
  std::vector<Extent> extents_;
  std::vector<std::unique_ptr<ImageFile>> files_;
  std::vector<int> fds_;
  int32_t lead_out_ = 0;
};

}  // namespace tonvik::cdrom
