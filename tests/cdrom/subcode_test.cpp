// Q frames and CD-Text packs on their own: the CRC, what a decoder accepts,
// and what the CD-Text reader makes of damaged, cut, double-byte and
// foreign-block answers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "cdrom/cd_text.h"
#include "cdrom/subchannel.h"

namespace tonvik::cdrom {
namespace {

std::vector<uint8_t> WithHeader(const std::vector<uint8_t>& packs) {
  std::vector<uint8_t> answer(4, 0);
  answer.insert(answer.end(), packs.begin(), packs.end());
  answer[0] = uint8_t((answer.size() - 2) >> 8);
  answer[1] = uint8_t(answer.size() - 2);
  return answer;
}

void Reseal(uint8_t* pack) {
  const uint16_t crc = SubcodeCrc(pack, 16);
  pack[16] = uint8_t(crc >> 8);
  pack[17] = uint8_t(crc);
}

TEST(SubcodeCrc, IsTheInvertedCcittCrcOfTheBytes) {
  // CRC-16/XMODEM of "123456789" is 0x31C3; frames store it inverted.
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(SubcodeCrc(check, sizeof check), uint16_t(~0x31C3));
  EXPECT_EQ(SubcodeCrc(check, 0), 0xFFFF);
}

TEST(QFrame, PositionFramesComeBackAndAnyFlippedBitIsRefused) {
  const struct {
    uint8_t control;
    int track, index;
    int32_t relative, absolute;
  } cases[] = {{0, 1, 1, 0, 150}, {2, 2, 0, 64, 28346}, {8, 99, 99, 449999, 449999}, {0, 0xAA, 1, 12, 237987},
               {1, 13, 2, 74, 75}};
  for (const auto& c : cases) {
    QFrame in;
    in.control = c.control;
    in.track = c.track;
    in.index = c.index;
    in.relative = c.relative;
    in.absolute = c.absolute;
    uint8_t q[kQBytes];
    EncodePositionQ(in, q);
    const auto out = DecodeQ(q);
    ASSERT_TRUE(out) << c.track;
    EXPECT_EQ(out->kind, QFrame::Position);
    EXPECT_EQ(out->control, c.control);
    EXPECT_EQ(out->track, c.track);
    EXPECT_EQ(out->index, c.index);
    EXPECT_EQ(out->relative, c.relative);
    EXPECT_EQ(out->absolute, c.absolute);
    for (int bit = 0; bit < kQBytes * 8; ++bit) {
      uint8_t bad[kQBytes];
      std::memcpy(bad, q, sizeof bad);
      bad[bit / 8] ^= uint8_t(1 << bit % 8);
      EXPECT_FALSE(DecodeQ(bad)) << "bit " << bit;
    }
  }
}

TEST(QFrame, CodesRoundTripAndBadOnesAreRefusedEverywhere) {
  const struct {
    const char* text;
    bool mcn;  // else ISRC
    bool valid;
  } cases[] = {
      {"0602517642256", true, true},   {"0652637280326", true, true},  {"0000000000000", true, false},
      {"060251764225", true, false},   {"USUM70839873", false, true},  {"GBAFL0700213", false, true},
      {"000000000000", false, false},  {"usum70839873", false, false}, {"USUM7083987", false, false},
      {"USUM708398730", false, false}, {"1SUM70839873", false, false}, {"USUM7O839873", false, false},
      {"US-M70839873", false, false},  {"US UM7083987", false, false}, {"QZK6P1234567", false, true},
  };
  for (const auto& c : cases) {
    uint8_t q[kQBytes];
    if (c.mcn) EncodeCatalogueQ(0, c.text, 1234, q);
    else EncodeIsrcQ(0, c.text, 1234, q);
    const auto frame = DecodeQ(q);
    EXPECT_EQ(c.mcn ? IsValidMcn(c.text) : IsValidIsrc(c.text), c.valid) << c.text;
    EXPECT_EQ(bool(frame), c.valid) << c.text;
    if (frame) {
      EXPECT_EQ(frame->kind, c.mcn ? QFrame::Catalogue : QFrame::Isrc);
      EXPECT_EQ(frame->text, c.text);
    }
    // The same text in a READ SUB-CHANNEL answer with the valid bit set.
    uint8_t answer[24] = {0, 0x15, 0, 20, uint8_t(c.mcn ? 2 : 3), 0, 1, 0, 0x80};
    std::memcpy(answer + 9, c.text, std::min<size_t>(std::strlen(c.text), c.mcn ? 13 : 12));
    const auto parsed = c.mcn ? ParseMcnAnswer(answer, sizeof answer) : ParseIsrcAnswer(answer, sizeof answer);
    // The answer holds 13 or 12 characters; what it holds is checked.
    const std::string held = std::string(c.text).substr(0, c.mcn ? 13 : 12);
    EXPECT_EQ(bool(parsed), c.mcn ? IsValidMcn(held) : IsValidIsrc(held)) << c.text;
    // Valid bit clear, a short answer, or another format: nothing.
    answer[8] = 0;
    EXPECT_FALSE(c.mcn ? ParseMcnAnswer(answer, sizeof answer) : ParseIsrcAnswer(answer, sizeof answer));
    answer[8] = 0x80;
    EXPECT_FALSE(c.mcn ? ParseMcnAnswer(answer, 20) : ParseIsrcAnswer(answer, 20));
    answer[4] = 1;
    EXPECT_FALSE(c.mcn ? ParseMcnAnswer(answer, sizeof answer) : ParseIsrcAnswer(answer, sizeof answer));
  }
}

CdTextSource Sample() {
  CdTextSource s;
  s.album_title = "Surfer Rosa & Come on Pilgrim";
  s.album_performer = "Pixies";
  s.upc = "0652637280326";
  const char* titles[] = {"Bone Machine", "Break My Body", "Something Against You", "Broken Face",
                          "Gigantic", "Caf\xc3\xa9 \xc3\x9c" "ber", "Where Is My Mind?"};
  for (const char* t : titles) s.tracks.push_back({t, "Pixies", "", ""});
  s.tracks[1].songwriter = "Black Francis";
  s.tracks[2].isrc = "USUM70839875";
  return s;
}

// Every string the reader gives is the one rendered: damage may lose text,
// never change it.
void ExpectNothingWrong(const CdText& got, const CdTextSource& want, const std::string& what) {
  if (!got.album_title.empty()) { EXPECT_EQ(got.album_title, want.album_title) << what; }
  if (!got.album_performer.empty()) { EXPECT_EQ(got.album_performer, want.album_performer) << what; }
  if (!got.upc.empty()) { EXPECT_EQ(got.upc, want.upc) << what; }
  for (const auto& [number, track] : got.tracks) {
    ASSERT_GE(number, 1) << what;
    ASSERT_LE(number, int(want.tracks.size())) << what;
    const CdTextTrack& w = want.tracks[size_t(number - 1)];
    if (!track.title.empty()) { EXPECT_EQ(track.title, w.title) << what << " track " << number; }
    if (!track.performer.empty()) { EXPECT_EQ(track.performer, w.performer) << what << " track " << number; }
    if (!track.songwriter.empty()) { EXPECT_EQ(track.songwriter, w.songwriter) << what << " track " << number; }
    if (!track.isrc.empty()) { EXPECT_EQ(track.isrc, w.isrc) << what << " track " << number; }
  }
}

TEST(CdText, RenderedPacksReadBackWithTabRepeatsAndLatin1) {
  const CdTextSource source = Sample();
  const auto packs = RenderCdTextPacks(source);
  ASSERT_EQ(packs.size() % kCdTextPackBytes, 0u);
  // The same performer on every track goes down as a tab after the first.
  int tabs = 0;
  for (size_t at = 0; at < packs.size(); at += kCdTextPackBytes)
    if (packs[at] == 0x81)
      for (int i = 4; i < 16; ++i) tabs += packs[at + i] == '\t';
  EXPECT_EQ(tabs, int(source.tracks.size()) - 1);
  // é and Ü are one byte each on the disc.
  const auto answer = WithHeader(packs);
  const CdText text = ParseCdText(answer.data(), answer.size());
  ASSERT_TRUE(text.found);
  EXPECT_EQ(text.bad_crc, 0);
  EXPECT_FALSE(text.double_byte);
  EXPECT_EQ(text.album_title, source.album_title);
  EXPECT_EQ(text.album_performer, source.album_performer);
  EXPECT_EQ(text.upc, source.upc);
  ASSERT_EQ(text.tracks.size(), source.tracks.size());
  for (size_t i = 0; i < source.tracks.size(); ++i) {
    const CdTextTrack& got = text.tracks.at(int(i) + 1);
    EXPECT_EQ(got.title, source.tracks[i].title) << i;
    EXPECT_EQ(got.performer, "Pixies") << i;
    EXPECT_EQ(got.songwriter, source.tracks[i].songwriter) << i;
    EXPECT_EQ(got.isrc, source.tracks[i].isrc) << i;
  }
}

TEST(CdText, DamagedAnswersLoseTextButNeverChangeIt) {
  const CdTextSource source = Sample();
  const auto packs = RenderCdTextPacks(source);
  const size_t count = packs.size() / kCdTextPackBytes;
  ASSERT_GT(count, 10u);
  const CdText whole = [&] {
    const auto a = WithHeader(packs);
    return ParseCdText(a.data(), a.size());
  }();
  // One pack at a time: its CRC spoiled, or the pack missing from the answer.
  for (size_t k = 0; k < count; ++k) {
    for (const bool drop : {false, true}) {
      std::vector<uint8_t> damaged = packs;
      if (drop) {
        damaged.erase(damaged.begin() + long(k * kCdTextPackBytes), damaged.begin() + long((k + 1) * kCdTextPackBytes));
      } else {
        damaged[k * kCdTextPackBytes + 6] ^= 0x20;
      }
      const auto answer = WithHeader(damaged);
      const CdText text = ParseCdText(answer.data(), answer.size());
      const std::string what = (drop ? "without pack " : "bad CRC in pack ") + std::to_string(k);
      EXPECT_EQ(text.bad_crc, drop ? 0 : 1) << what;
      ExpectNothingWrong(text, source, what);
      // Only strings of the damaged pack's own type are lost (a size pack
      // changes nothing: ISO-8859-1 is also what the reader assumes).
      const uint8_t type = packs[k * kCdTextPackBytes];
      const CdTextTrack none;
      for (const auto& [n, t] : whole.tracks) {
        const auto it = text.tracks.find(n);
        const CdTextTrack& got = it == text.tracks.end() ? none : it->second;
        if (type != 0x80) { EXPECT_EQ(got.title, t.title) << what << " track " << n; }
        if (type != 0x81) { EXPECT_EQ(got.performer, t.performer) << what << " track " << n; }
        if (type != 0x82) { EXPECT_EQ(got.songwriter, t.songwriter) << what << " track " << n; }
        if (type != 0x8E) { EXPECT_EQ(got.isrc, t.isrc) << what << " track " << n; }
      }
      if (type != 0x80) { EXPECT_EQ(text.album_title, whole.album_title) << what; }
      if (type != 0x81) { EXPECT_EQ(text.album_performer, whole.album_performer) << what; }
      if (type != 0x8E) { EXPECT_EQ(text.upc, whole.upc) << what; }
      if (type == 0x8F) { EXPECT_EQ(text.tracks.size(), whole.tracks.size()) << what; }
    }
  }
  // Cut anywhere, and with a length field that promises more than came.
  const auto answer = WithHeader(packs);
  for (size_t n = 0; n <= answer.size(); ++n) {
    const CdText text = ParseCdText(answer.data(), n);
    ExpectNothingWrong(text, source, "cut at " + std::to_string(n));
    if (n < 4 + kCdTextPackBytes) { EXPECT_FALSE(text.found) << n; }
  }
  auto lying = answer;
  lying[0] = 0xFF;
  lying[1] = 0xFF;
  ExpectNothingWrong(ParseCdText(lying.data(), lying.size()), source, "length field 65535");
  EXPECT_FALSE(ParseCdText(nullptr, 100).found);
}

TEST(CdText, DoubleByteOtherBlocksAndOtherCodesAreDropped) {
  const CdTextSource source = Sample();
  const auto packs = RenderCdTextPacks(source);
  const struct {
    const char* name;
    void (*change)(uint8_t* pack);
    bool found, double_byte;
  } cases[] = {
      {"double-byte bit on every pack", [](uint8_t* p) { p[3] |= 0x80; }, false, true},
      {"every pack in block 1", [](uint8_t* p) { p[3] = uint8_t((p[3] & 0x8F) | 0x10); }, false, false},
      {"size information says MS-JIS",
       [](uint8_t* p) { if (p[0] == 0x8F && p[1] == 0) p[4] = 0x80; }, false, true},
      {"size information says Korean", [](uint8_t* p) { if (p[0] == 0x8F && p[1] == 0) p[4] = 0x02; }, false, false},
      {"size information says ASCII", [](uint8_t* p) { if (p[0] == 0x8F && p[1] == 0) p[4] = 0x01; }, true, false},
      {"no size information", [](uint8_t* p) { if (p[0] == 0x8F) p[0] = 0x8D; }, true, false},
  };
  for (const auto& c : cases) {
    auto changed = packs;
    for (size_t at = 0; at < changed.size(); at += kCdTextPackBytes) {
      c.change(&changed[at]);
      Reseal(&changed[at]);
    }
    const auto answer = WithHeader(changed);
    const CdText text = ParseCdText(answer.data(), answer.size());
    EXPECT_EQ(text.found, c.found) << c.name;
    EXPECT_EQ(text.double_byte, c.double_byte) << c.name;
    EXPECT_EQ(text.bad_crc, 0) << c.name;
    if (std::string(c.name) == "size information says ASCII") {
      // The bytes above 0x7F are not ASCII: shown as '?'.
      EXPECT_EQ(text.tracks.at(6).title, "Caf? ?ber");
    } else if (text.found) {
      ExpectNothingWrong(text, source, c.name);
    }
  }
  // Double-byte packs beside single-byte ones of block 0: the block is not read.
  auto mixed = packs;
  mixed[3] |= 0x80;
  Reseal(&mixed[0]);
  const auto answer = WithHeader(mixed);
  EXPECT_FALSE(ParseCdText(answer.data(), answer.size()).found);
}

TEST(CdText, RandomAnswersNeverGiveControlCharactersOrInvalidCodes) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> packs(size_t(random() % 40) * kCdTextPackBytes);
    for (auto& b : packs) b = uint8_t(random());
    for (size_t at = 0; at < packs.size(); at += kCdTextPackBytes) {
      packs[at] = uint8_t(0x80 + random() % 16);
      packs[at + 3] &= 0x0F;  // block 0, single byte
      if (random() % 8) Reseal(&packs[at]);
    }
    const auto answer = WithHeader(packs);
    const CdText text = ParseCdText(answer.data(), answer.size());
    auto clean = [](const std::string& s) {
      for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return false;
      return s.size() <= 2 * 160;
    };
    EXPECT_TRUE(clean(text.album_title) && clean(text.album_performer) && clean(text.album_songwriter));
    for (const auto& [n, t] : text.tracks) {
      EXPECT_TRUE(n >= 1 && n <= 99) << n;
      EXPECT_TRUE(clean(t.title) && clean(t.performer) && clean(t.songwriter));
      if (!t.isrc.empty()) { EXPECT_TRUE(IsValidIsrc(t.isrc)) << t.isrc; }
    }
  }
}

TEST(CdText, TooMuchTextDropsWholeTypesFromTheLast) {
  CdTextSource s;
  for (int i = 0; i < 99; ++i) s.tracks.push_back({std::string(28, char('a' + i % 26)), "P", "W", ""});
  const auto packs = RenderCdTextPacks(s);
  ASSERT_LE(packs.size() / kCdTextPackBytes, 256u);
  const auto answer = WithHeader(packs);
  const CdText text = ParseCdText(answer.data(), answer.size());
  // 99 titles of 29 bytes take 240 packs; the performers (17 packs) would
  // pass the 256 with the 3 size packs, so they go, and the songwriters first.
  EXPECT_TRUE(text.found);
  EXPECT_EQ(text.tracks.at(99).title, std::string(28, char('a' + 98 % 26)));
  EXPECT_EQ(text.tracks.at(99).performer, "");
  EXPECT_EQ(text.tracks.at(99).songwriter, "");
  EXPECT_TRUE(RenderCdTextPacks(CdTextSource{}).empty());
}

}  // namespace
}  // namespace tonvik::cdrom
