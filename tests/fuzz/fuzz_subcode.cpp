// What a drive hands back besides audio: the input as a CD-Text answer (READ
// TOC format 5) and as a run of 12-byte Q frames. Whatever the reader takes
// from it is clean text and valid codes, and text it took reads back the same
// after being written into packs again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cdrom/cd_text.h"
#include "cdrom/subchannel.h"

using namespace tonvik::cdrom;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool Clean(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CdText text = ParseCdText(data, size);
  Check(Clean(text.album_title) && Clean(text.album_performer) && Clean(text.album_songwriter));
  Check(text.upc.empty() || IsValidMcn(text.upc));
  Check(text.bad_crc <= text.packs);
  CdTextSource again;
  again.album_title = text.album_title;
  again.album_performer = text.album_performer;
  again.album_songwriter = text.album_songwriter;
  again.upc = text.upc;
  int last = 0;
  for (const auto& [n, t] : text.tracks) {
    Check(n >= 1 && n <= 99 && n > last);
    Check(Clean(t.title) && Clean(t.performer) && Clean(t.songwriter));
    Check(t.isrc.empty() || IsValidIsrc(t.isrc));
    last = n;
  }
  // Tracks 1..last, the missing ones empty.
  for (int n = 1; n <= last; ++n) {
    const auto it = text.tracks.find(n);
    again.tracks.push_back(it == text.tracks.end() ? CdTextTrack{} : it->second);
  }
  std::vector<uint8_t> answer(4, 0);
  const auto packs = RenderCdTextPacks(again);
  answer.insert(answer.end(), packs.begin(), packs.end());
  answer[0] = uint8_t((answer.size() - 2) >> 8);
  answer[1] = uint8_t(answer.size() - 2);
  const CdText back = ParseCdText(answer.data(), answer.size());
  Check(back.bad_crc == 0 && !back.double_byte);
  // Written again, a text the reader gave comes back unless its whole type
  // did not fit into one block; what comes back is never different.
  auto same_or_dropped = [](const std::string& got, const std::string& want) { return got.empty() || got == want; };
  Check(same_or_dropped(back.album_title, text.album_title));
  Check(same_or_dropped(back.album_performer, text.album_performer));
  Check(same_or_dropped(back.upc, text.upc));
  for (const auto& [n, t] : back.tracks) {
    const auto it = text.tracks.find(n);
    Check(it != text.tracks.end());
    Check(same_or_dropped(t.title, it->second.title) && same_or_dropped(t.performer, it->second.performer) &&
          same_or_dropped(t.songwriter, it->second.songwriter) && same_or_dropped(t.isrc, it->second.isrc));
  }

  for (size_t at = 0; at + kQBytes <= size; at += kQBytes) {
    const auto frame = DecodeQ(data + at);
    if (!frame) continue;
    uint8_t again_q[kQBytes];
    switch (frame->kind) {
      case QFrame::Catalogue:
        Check(IsValidMcn(frame->text));
        break;
      case QFrame::Isrc:
        Check(IsValidIsrc(frame->text));
        break;
      case QFrame::Position:
        // A position frame encodes back to a frame that decodes the same.
        EncodePositionQ(*frame, again_q);
        const auto back_q = DecodeQ(again_q);
        Check(back_q && back_q->track == frame->track && back_q->index == frame->index &&
              back_q->relative == frame->relative && back_q->absolute == frame->absolute);
        break;
    }
  }
  return 0;
}
