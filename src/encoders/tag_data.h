// Per-track metadata that renders each format's tag. One object per track,
// shared between the rip job and the encoder; it keeps the disc record it was
// made from.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/disc_metadata.h"
#include "output/utf8_to_wide.h"

struct vorbis_comment;
struct FLAC__StreamMetadata;
struct IWMHeaderInfo;  // the Windows Media writer's attributes (modules/wmvcore/wmsdk.h)

namespace tonvik {

namespace monkey {
class CIO;  // the file the Monkey's Audio encoder writes; the APE tag goes at its end
}

class CTagData {
 public:
  virtual ~CTagData() = default;
  // The 128-byte ID3v1 tag, or empty.
  virtual void GetID3v1(std::vector<uint8_t>& out) = 0;
  // The whole ID3v2 tag, or empty.
  virtual void GetID3v2(std::vector<uint8_t>& out) = 0;
  // The file attributes of the Windows Media writer, before writing begins.
  virtual void SetWMAttributes(IWMHeaderInfo* header) = 0;
  virtual void AddVorbisComments(vorbis_comment* comments) = 0;
  // Appends the APE tag through the file adapter; 0, or the library's error
  // when the tag could not be written.
  virtual int WriteAPETag(monkey::CIO& io) = 0;
  virtual void AddFLACComments(FLAC__StreamMetadata* block) = 0;
};

// The tags of one track of a disc record.
class CCDDBTagData : public CTagData {
 public:
  // Throws AppException "Internal error #4765." when the index is not below
  // the number of titles and is not kHiddenTrackIndex (the hidden track
  // before track 1: number 0, kHiddenTrackTitle).
  CCDDBTagData(std::shared_ptr<const DiscMetadata> disc, uint32_t index);
  void GetID3v1(std::vector<uint8_t>& out) override;
  void GetID3v2(std::vector<uint8_t>& out) override;
  void SetWMAttributes(IWMHeaderInfo* header) override;
  void AddVorbisComments(vorbis_comment* comments) override;
  int WriteAPETag(monkey::CIO& io) override;
  void AddFLACComments(FLAC__StreamMetadata* block) override;

  uint32_t index() const { return index_; }

 private:
  std::shared_ptr<const DiscMetadata> disc_;
  uint32_t index_;  // zero-based track index
};

// No metadata: empty tags, nothing added.
class CEmptyTagData : public CTagData {
 public:
  void GetID3v1(std::vector<uint8_t>& out) override { out.clear(); }
  void GetID3v2(std::vector<uint8_t>& out) override { out.clear(); }
  void SetWMAttributes(IWMHeaderInfo*) override {}
  void AddVorbisComments(vorbis_comment*) override {}
  int WriteAPETag(monkey::CIO&) override { return 0; }
  void AddFLACComments(FLAC__StreamMetadata*) override {}
};

// A CCDDBTagData when the disc record has titles, else a CEmptyTagData.
std::shared_ptr<CTagData> CreateTagData(std::shared_ptr<const DiscMetadata> disc, uint32_t index);

// The ID3v1 genre index of a name (case-insensitive, Latin-1), 255 when none.
uint8_t Id3v1GenreIndex(const std::string& latin1_name);

}  // namespace tonvik
