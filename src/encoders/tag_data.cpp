#include "encoders/tag_data.h"

#include <FLAC/metadata.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cstring>

#include "core/app_exception.h"
#include "modules/wmvcore/wmsdk.h"
#include "monkey/ape_tag.h"
#include "output/disc_metadata.h"
#include "platform/text.h"

namespace tonvik {

namespace {

void AppendSynchsafe(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>((value >> 21) & 0x7F));
  out.push_back(static_cast<uint8_t>((value >> 14) & 0x7F));
  out.push_back(static_cast<uint8_t>((value >> 7) & 0x7F));
  out.push_back(static_cast<uint8_t>(value & 0x7F));
}

void AppendTextFrame(std::vector<uint8_t>& out, const char* id, const std::string& text) {
  out.insert(out.end(), id, id + 4);
  AppendSynchsafe(out, static_cast<uint32_t>(text.size() + 1));
  out.push_back(0);
  out.push_back(0);
  out.push_back(3);  // UTF-8
  out.insert(out.end(), text.begin(), text.end());
}

// Copies Latin-1 text into a fixed field, cut at the width; the rest stays zero.
void PutField(std::vector<uint8_t>& tag, size_t offset, size_t width, const std::string& text) {
  std::memcpy(tag.data() + offset, text.data(), std::min(width, text.size()));
}

const std::string& TrackIsrc(const DiscMetadata& d, uint32_t index) {
  static const std::string kNone;
  return index < d.isrcs.size() ? d.isrcs[index] : kNone;
}

// An ID3v2.4 TXXX frame: UTF-8, the description, its terminator, the value.
void AppendUserTextFrame(std::vector<uint8_t>& out, const std::string& description, const std::string& text) {
  out.insert(out.end(), {'T', 'X', 'X', 'X'});
  AppendSynchsafe(out, static_cast<uint32_t>(1 + description.size() + 1 + text.size()));
  out.push_back(0);
  out.push_back(0);
  out.push_back(3);  // UTF-8
  out.insert(out.end(), description.begin(), description.end());
  out.push_back(0);
  out.insert(out.end(), text.begin(), text.end());
}

// The comments of a track in their fixed order; empty ones are left out, the
// track number is always there.
std::vector<std::pair<const char*, std::string>> CommentList(const DiscMetadata& d, uint32_t index) {
  std::vector<std::pair<const char*, std::string>> list;
  auto add = [&](const char* name, const std::string& value) {
    if (!value.empty()) list.emplace_back(name, value);
  };
  add("TITLE", TrackTitle(d, index));
  add("ARTIST", d.artist);
  add("ALBUM", d.album);
  add("DATE", d.year);
  add("COMMENT", d.comment);
  add("GENRE", d.genre);
  list.emplace_back("TRACKNUMBER", std::to_string(index + 1));
  // The disc's own codes, only where it has them.
  add("ISRC", TrackIsrc(d, index));
  add("CATALOGNUMBER", d.catalog);
  return list;
}

}  // namespace

CCDDBTagData::CCDDBTagData(std::shared_ptr<const DiscMetadata> disc, uint32_t index)
    : disc_(std::move(disc)), index_(index) {
  if (!disc_ || (index >= disc_->titles.size() && index != kHiddenTrackIndex))
    throw AppException("Internal error #4765.");
}

std::shared_ptr<CTagData> CreateTagData(std::shared_ptr<const DiscMetadata> disc, uint32_t index) {
  if (!disc || disc->titles.empty()) return std::make_shared<CEmptyTagData>();
  return std::make_shared<CCDDBTagData>(std::move(disc), index);
}

void CCDDBTagData::GetID3v2(std::vector<uint8_t>& out) {
  const DiscMetadata& d = *disc_;
  out.assign({'I', 'D', '3', 0x04, 0x00, 0x00, 0, 0, 0, 0});
  auto frame = [&](const char* id, const std::string& text) {
    if (!text.empty()) AppendTextFrame(out, id, text);
  };
  frame("TIT2", TrackTitle(d, index_));
  frame("TPE1", d.artist);
  frame("TALB", d.album);
  frame("TYER", d.year);
  frame("TCON", d.genre);
  AppendTextFrame(out, "TRCK", std::to_string(index_ + 1));
  frame("TSRC", TrackIsrc(d, index_));
  if (!d.catalog.empty()) AppendUserTextFrame(out, "CATALOGNUMBER", d.catalog);
  std::vector<uint8_t> size;
  AppendSynchsafe(size, static_cast<uint32_t>(out.size() - 10));
  std::copy(size.begin(), size.end(), out.begin() + 6);
}

void CCDDBTagData::GetID3v1(std::vector<uint8_t>& out) {
  out.clear();
  const DiscMetadata& d = *disc_;
  const std::string& title = TrackTitle(d, index_);
  const std::u16string fields[] = {Utf8ToWide(title.c_str()),     Utf8ToWide(d.artist.c_str()),
                                   Utf8ToWide(d.album.c_str()),   Utf8ToWide(d.year.c_str()),
                                   Utf8ToWide(d.comment.c_str()), Utf8ToWide(d.genre.c_str())};
  for (const auto& f : fields) {
    if (f.empty()) return;
  }
  out.assign(128, 0);
  out[0] = 'T';
  out[1] = 'A';
  out[2] = 'G';
  PutField(out, 3, 30, ToLatin1(fields[0]));
  PutField(out, 33, 30, ToLatin1(fields[1]));
  PutField(out, 63, 30, ToLatin1(fields[2]));
  PutField(out, 93, 4, ToLatin1(fields[3]));
  PutField(out, 97, 28, ToLatin1(fields[4]));
  out[125] = 0;
  out[126] = static_cast<uint8_t>(index_ + 1);
  out[127] = Id3v1GenreIndex(ToLatin1(fields[5]));
}

void CCDDBTagData::SetWMAttributes(IWMHeaderInfo* header) {
  if (!header) return;
  const DiscMetadata& disc = *disc_;
  const std::string title = TrackTitle(disc, index_);
  const std::string track = std::to_string(index_ + 1);
  const std::pair<const char16_t*, const std::string*> attributes[] = {
      {u"Title", &title},         {u"Author", &disc.artist}, {u"WM/AlbumTitle", &disc.album},
      {u"WM/Genre", &disc.genre}, {u"WM/Year", &disc.year},  {u"Description", &disc.comment},
      {u"WM/Track", &track}};
  // Every one, empty or not, as a string of the file (stream 0) with its
  // terminating zero; failures of single attributes are ignored.
  auto set = [&](const char16_t* name, const std::string& value) {
    const std::u16string text = Utf8ToWide(value.c_str());
    header->SetAttribute(0, name, WMT_TYPE_STRING, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<WORD>((text.size() + 1) * 2));
  };
  for (const auto& [name, value] : attributes) set(name, *value);
  // The disc's ISRC only where it has one.
  if (const std::string& isrc = TrackIsrc(disc, index_); !isrc.empty()) set(u"WM/ISRC", isrc);
}

int CCDDBTagData::WriteAPETag(monkey::CIO& io) {
  const DiscMetadata& disc = *disc_;
  const std::string title = TrackTitle(disc, index_);
  const std::string track = std::to_string(index_ + 1);
  const std::string total = std::to_string(disc.titles.size());
  monkey::CAPETag tag(&io, false);
  const std::pair<const char*, const std::string*> items[] = {
      {"Title", &title},         {"Artist", &disc.artist}, {"Album", &disc.album},
      {"Comment", &disc.comment}, {"Year", &disc.year},     {"Track", &track},
      {"Totaltracks", &total},   {"Genre", &disc.genre}};
  // An empty text removes the item; failures of single items are ignored.
  for (const auto& [name, value] : items) tag.SetFieldString(name, value->c_str());
  // The disc's own codes, only where it has them.
  if (const std::string& isrc = TrackIsrc(disc, index_); !isrc.empty()) tag.SetFieldString("ISRC", isrc.c_str());
  if (!disc.catalog.empty()) tag.SetFieldString("CATALOGNUMBER", disc.catalog.c_str());
  return tag.Save();
}

void CCDDBTagData::AddVorbisComments(vorbis_comment* comments) {
  for (const auto& [name, value] : CommentList(*disc_, index_)) {
    vorbis_comment_add_tag(comments, name, value.c_str());
  }
}

void CCDDBTagData::AddFLACComments(FLAC__StreamMetadata* block) {
  for (const auto& [name, value] : CommentList(*disc_, index_)) {
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name,
                                                                        value.c_str())) {
      continue;  // failures while adding tags are ignored
    }
    // copy = false hands the entry's memory to the block.
    if (!FLAC__metadata_object_vorbiscomment_insert_comment(
            block, block->data.vorbis_comment.num_comments, entry, false)) {
      free(entry.entry);
    }
  }
}

}  // namespace tonvik
