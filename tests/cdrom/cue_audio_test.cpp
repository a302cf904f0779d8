// Cue sheets over WAV, FLAC, BINARY and MOTOROLA files in the layouts rip
// and backup programs write, in the encodings they write them: the image
// drive's READ CD gives the PCM the layout puts at each address, bit for
// bit, and READ TOC the track starts, CONTROL flags and lead-out. Sheets
// that cannot be used are refused with the reason the user gets to read.
#include <FLAC/stream_encoder.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "cdrom/cd_drive.h"
#include "cdrom/cue_image.h"
#include "cdrom/image_transport.h"
#include "support/temp_hives.h"

namespace tonvik::cdrom {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kFrames = 588;  // stereo sample frames a sector
using Bytes = std::vector<uint8_t>;

// Sample frames of file `id`: every frame differs from its neighbours and
// from every other file's, so a sector from the wrong place shows.
Bytes Pcm(int id, int64_t frames) {
  Bytes out(size_t(frames) * 4);
  uint32_t x = 0x9E3779B9u * uint32_t(id + 1);
  for (int64_t i = 0; i < frames; ++i) {
    for (int ch = 0; ch < 2; ++ch) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      const int16_t v = int16_t(int32_t(x % 20001) - 10000 + int32_t(i % 441) * 40);
      out[size_t(i * 4 + ch * 2)] = uint8_t(v);
      out[size_t(i * 4 + ch * 2 + 1)] = uint8_t(uint16_t(v) >> 8);
    }
  }
  return out;
}

void Put16(std::string* s, uint16_t v) { s->append({char(v), char(v >> 8)}); }
void Put32(std::string* s, uint32_t v) { Put16(s, uint16_t(v)), Put16(s, uint16_t(v >> 16)); }

// A RIFF WAV; extras go between "fmt " and "data" (odd-sized ones padded).
void WriteWav(const fs::path& path, const Bytes& data, int bits = 16, int rate = 44100, int channels = 2,
              int format = 1, const std::string& extras = "") {
  std::string fmt;
  Put16(&fmt, uint16_t(format));
  Put16(&fmt, uint16_t(channels));
  Put32(&fmt, uint32_t(rate));
  Put32(&fmt, uint32_t(rate * channels * bits / 8));
  Put16(&fmt, uint16_t(channels * bits / 8));
  Put16(&fmt, uint16_t(bits));
  std::string out = "RIFF";
  Put32(&out, uint32_t(4 + 8 + fmt.size() + extras.size() + 8 + data.size()));
  out += "WAVEfmt ";
  Put32(&out, uint32_t(fmt.size()));
  out += fmt + extras + "data";
  Put32(&out, uint32_t(data.size()));
  std::ofstream f(path, std::ios::binary);
  f << out;
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// A RIFF WAV of the given chunks (format chunks among them) before "data".
void WriteWavChunks(const fs::path& path, const std::string& chunks, const Bytes& data) {
  std::string out = "RIFF";
  Put32(&out, uint32_t(4 + chunks.size() + 8 + data.size()));
  out += "WAVE" + chunks + "data";
  Put32(&out, uint32_t(data.size()));
  std::ofstream f(path, std::ios::binary);
  f << out;
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// A "fmt " chunk of CD audio `size` bytes long (16, 18 or 40) with the format
// tag; at 40 bytes the WAVE_FORMAT_EXTENSIBLE fields with the sub-format GUID.
std::string FmtChunk(uint16_t tag, uint32_t size, const std::string& guid = "") {
  std::string body;
  Put16(&body, tag);
  Put16(&body, 2);
  Put32(&body, 44100);
  Put32(&body, 44100 * 4);
  Put16(&body, 4);
  Put16(&body, 16);
  if (size >= 18) Put16(&body, uint16_t(size - 18));
  if (size >= 40) {
    Put16(&body, 16);  // valid bits
    Put32(&body, 3);   // front left and right
    body += guid;
  }
  body.resize(size, '\0');
  std::string chunk = "fmt ";
  Put32(&chunk, size);
  return chunk + body;
}

// The GUID of a WAVE_FORMAT tag, {0000tttt-0000-0010-8000-00aa00389b71}, as stored.
std::string WaveGuid(uint16_t tag) {
  std::string guid;
  Put16(&guid, tag);
  return guid + std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
}

std::string ListChunk() {
  std::string c = "LIST";
  Put32(&c, 13);
  c += "INFOISFT";
  Put32(&c, 1);
  c += "x";
  c += '\0';  // pad byte of the odd-sized chunk
  return c;
}

// A FLAC file through libFLAC's encoder.
void WriteFlac(const fs::path& path, const Bytes& data, int rate = 44100) {
  FLAC__StreamEncoder* enc = FLAC__stream_encoder_new();
  ASSERT_NE(enc, nullptr);
  const int64_t frames = int64_t(data.size() / 4);
  FLAC__stream_encoder_set_channels(enc, 2);
  FLAC__stream_encoder_set_bits_per_sample(enc, 16);
  FLAC__stream_encoder_set_sample_rate(enc, unsigned(rate));
  FLAC__stream_encoder_set_compression_level(enc, 5);
  FLAC__stream_encoder_set_total_samples_estimate(enc, FLAC__uint64(frames));
  ASSERT_EQ(FLAC__stream_encoder_init_file(enc, path.c_str(), nullptr, nullptr), FLAC__STREAM_ENCODER_INIT_STATUS_OK);
  std::vector<FLAC__int32> samples(size_t(frames) * 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(data[i * 2] | data[i * 2 + 1] << 8);
  ASSERT_TRUE(FLAC__stream_encoder_process_interleaved(enc, samples.data(), unsigned(frames)));
  ASSERT_TRUE(FLAC__stream_encoder_finish(enc));
  FLAC__stream_encoder_delete(enc);
}

void WriteRaw(const fs::path& path, Bytes data, bool motorola) {
  if (motorola)
    for (size_t i = 0; i + 1 < data.size(); i += 2) std::swap(data[i], data[i + 1]);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

enum class Kind { Wav, WavWithList, WavExtensible, Flac, Bin, Motorola };
struct FileSpec {
  std::string name;  // UTF-8, may hold folders
  Kind kind;
  int64_t frames;    // the file's PCM is Pcm(index in the list, frames)
};
enum class Encoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Cp1252 };

// The sheet's bytes in the encoding. Cp1252 knows the few letters used here.
std::string Encode(const std::string& text, Encoding encoding) {
  if (encoding == Encoding::Utf8) return text;
  if (encoding == Encoding::Utf8Bom) return "\xEF\xBB\xBF" + text;
  std::u16string wide;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    char32_t c = b;
    int more = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    if (more) c = b & (0x3F >> more);
    for (int k = 1; k <= more; ++k) c = c << 6 | (static_cast<unsigned char>(text[i + size_t(k)]) & 0x3F);
    i += size_t(more) + 1;
    wide.push_back(char16_t(c));
  }
  std::string out;
  if (encoding == Encoding::Cp1252) {
    for (char16_t c : wide) out.push_back(c == u'\u2013' ? '\x96' : c == u'\u20AC' ? '\x80' : char(c));
    return out;
  }
  const bool be = encoding == Encoding::Utf16Be;
  out = be ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : wide) {
    const char hi = char(c >> 8), lo = char(c);
    out.push_back(be ? hi : lo);
    out.push_back(be ? lo : hi);
  }
  return out;
}

struct Piece {
  int file;        // index into files, -1 silence
  int64_t frames;  // from where the last piece of this file ended
};
struct LayoutCase {
  const char* name;
  std::vector<FileSpec> files;
  std::string sheet;
  Encoding encoding;
  std::vector<int32_t> starts;
  std::vector<uint8_t> controls;
  int32_t lead_out;
  std::vector<Piece> disc;  // what the disc holds from LBA 0 to the lead-out
};

fs::path WriteFiles(const fs::path& dir, const std::vector<FileSpec>& files) {
  for (size_t i = 0; i < files.size(); ++i) {
    const FileSpec& f = files[i];
    const fs::path path = dir / fs::u8path(f.name);
    fs::create_directories(path.parent_path());
    const Bytes pcm = Pcm(int(i), f.frames);
    switch (f.kind) {
      case Kind::Wav: WriteWav(path, pcm); break;
      case Kind::WavWithList: WriteWav(path, pcm, 16, 44100, 2, 1, ListChunk()); break;
      case Kind::WavExtensible: WriteWavChunks(path, FmtChunk(0xFFFE, 40, WaveGuid(1)), pcm); break;
      case Kind::Flac: WriteFlac(path, pcm); break;
      case Kind::Bin: WriteRaw(path, pcm, false); break;
      case Kind::Motorola: WriteRaw(path, pcm, true); break;
    }
  }
  return dir / "album.cue";
}

Bytes Expected(const LayoutCase& c) {
  Bytes disc;
  std::vector<int64_t> used(c.files.size(), 0);
  for (const Piece& p : c.disc) {
    if (p.file < 0) {
      disc.resize(disc.size() + size_t(p.frames) * 4, 0);
      continue;
    }
    const Bytes pcm = Pcm(p.file, c.files[size_t(p.file)].frames);
    const auto from = pcm.begin() + std::ptrdiff_t(used[size_t(p.file)] * 4);
    disc.insert(disc.end(), from, from + std::ptrdiff_t(p.frames * 4));
    used[size_t(p.file)] += p.frames;
  }
  return disc;
}

class CueAudioLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(CueAudioLayout, ReadCdGivesThePcmTheLayoutPutsThere) {
  const LayoutCase& c = GetParam();
  tonvik::testing::TempHives temp;
  const fs::path cue = WriteFiles(temp.root() / "backup", c.files);
  std::ofstream(cue, std::ios::binary) << Encode(c.sheet, c.encoding);
  const Bytes expected = Expected(c);
  ASSERT_EQ(expected.size(), size_t(c.lead_out) * 2352) << "the case's pieces do not fill the disc";

  std::string error;
  auto transport = ImageTransport::Open(cue.string(), &error);
  ASSERT_TRUE(transport) << error;
  CdDrive drive(std::move(transport));

  uint8_t toc[804] = {};
  ASSERT_EQ(drive.ReadToc(1, toc, sizeof toc), 0);
  std::vector<int32_t> starts;
  std::vector<uint8_t> controls;
  int32_t lead_out = -1;
  for (size_t at = 4; at + 8 <= size_t(toc[0] << 8 | toc[1]) + 2; at += 8) {
    const int32_t lba = toc[at + 4] << 24 | toc[at + 5] << 16 | toc[at + 6] << 8 | toc[at + 7];
    if (toc[at + 2] == 0xAA) {
      lead_out = lba;
    } else {
      starts.push_back(lba);
      controls.push_back(toc[at + 1] & 0x0F);
    }
  }
  EXPECT_EQ(starts, c.starts);
  EXPECT_EQ(controls, c.controls);
  EXPECT_EQ(lead_out, c.lead_out);

  // In order in reads of 7 sectors, then backwards in reads of 13 (every
  // one a seek for a FLAC file): both give the disc bit for bit.
  Bytes got(size_t(c.lead_out) * 2352);
  for (int32_t lba = 0; lba < c.lead_out; lba += 7) {
    const int n = std::min(7, c.lead_out - lba);
    ASSERT_EQ(drive.ReadCd(lba, uint8_t(n), got.data() + size_t(lba) * 2352), 0) << "LBA " << lba;
  }
  EXPECT_TRUE(got == expected) << "in order";
  std::fill(got.begin(), got.end(), 0xEE);
  for (int32_t end = c.lead_out; end > 0; end -= 13) {
    const int32_t lba = std::max(0, end - 13);
    ASSERT_EQ(drive.ReadCd(lba, uint8_t(end - lba), got.data() + size_t(lba) * 2352), 0) << "LBA " << lba;
  }
  for (int32_t lba = 0; lba < c.lead_out; ++lba)
    ASSERT_EQ(std::memcmp(got.data() + size_t(lba) * 2352, expected.data() + size_t(lba) * 2352, 2352), 0)
        << "backwards, LBA " << lba;
}

constexpr int64_t S = kFrames;  // a sector of frames

INSTANTIATE_TEST_SUITE_P(
    Layouts, CueAudioLayout,
    ::testing::Values(
        // One FLAC of the whole disc, pregaps inside it, and a last sector
        // the file fills only partly.
        LayoutCase{"single_flac_image",
                   {{"Album.flac", Kind::Flac, 675 * S - 100}},
                   "REM GENRE Rock\nREM DATE 1999\nPERFORMER \"Someone\"\nTITLE \"Album\"\nCATALOG 0724384260924\n"
                   "FILE \"Album.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    ISRC USRC17607839\n"
                   "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    SONGWRITER \"X\"\n    INDEX 00 00:03:00\n"
                   "    INDEX 01 00:04:00\n  TRACK 03 AUDIO\n    INDEX 00 00:06:45\n    INDEX 01 00:07:00\n",
                   Encoding::Utf8, {0, 300, 525}, {0, 0, 0}, 675, {{0, 675 * S - 100}, {-1, 100}}},
        // The same as a WAV whose data chunk follows a LIST chunk.
        LayoutCase{"single_wav_image",
                   {{"Album.wav", Kind::WavWithList, 675 * S}},
                   "FILE \"Album.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
                   "    INDEX 00 00:03:00\r\n    INDEX 01 00:04:00\r\n  TRACK 03 AUDIO\r\n    INDEX 01 00:07:00\r\n",
                   Encoding::Utf8Bom, {0, 300, 525}, {0, 0, 0}, 675, {{0, 675 * S}}},
        // Gaps appended: each track's pregap ends the file before, its
        // INDEX 00 there and its INDEX 01 at the start of its own file.
        LayoutCase{"per_track_gaps_appended",
                   {{"01.flac", Kind::Flac, 300 * S}, {"02.flac", Kind::Flac, 225 * S}, {"03.flac", Kind::Flac, 150 * S}},
                   "FILE \"01.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                   "    INDEX 00 00:03:00\nFILE \"02.flac\" WAVE\n    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n"
                   "    INDEX 00 00:02:45\nFILE \"03.flac\" WAVE\n    INDEX 01 00:00:00\n",
                   Encoding::Utf8, {0, 300, 525}, {0, 0, 0}, 675, {{0, 300 * S}, {1, 225 * S}, {2, 150 * S}}},
        // Each pregap at the start of its own track's file.
        LayoutCase{"per_track_pregap_in_own_file",
                   {{"01.wav", Kind::Wav, 300 * S}, {"02.wav", Kind::Wav, 225 * S}, {"03.wav", Kind::Wav, 150 * S}},
                   "FILE \"01.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"02.wav\" WAVE\n"
                   "  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:01:00\nFILE \"03.wav\" WAVE\n"
                   "  TRACK 03 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:30\n",
                   Encoding::Utf8, {0, 375, 555}, {0, 0, 0}, 675, {{0, 300 * S}, {1, 225 * S}, {2, 150 * S}}},
        // Gaps left out and given back as PREGAP silence; POSTGAP after a
        // track; raw and byte-swapped images beside a WAV; FLAGS kept as
        // CONTROL bits; commands this reader does not know passed over.
        LayoutCase{"per_track_gaps_left_out",
                   {{"01.bin", Kind::Bin, 300 * S}, {"02.raw", Kind::Motorola, 225 * S}, {"03.wav", Kind::Wav, 150 * S}},
                   "CDTEXTFILE \"album.cdt\"\nFILE \"01.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                   "    POSTGAP 00:00:10\nFILE \"02.raw\" MOTOROLA\n  TRACK 02 AUDIO\n    FLAGS DCP PRE 4CH\n"
                   "    PREGAP 00:02:00\n    INDEX 01 00:00:00\nFILE \"03.wav\" WAVE\n  TRACK 03 AUDIO\n    FLAGS PRE\n"
                   "    FROBNICATE 7\n    INDEX 01 00:00:00\n    POSTGAP 00:01:00\n",
                   Encoding::Utf8, {0, 460, 685}, {0, 0x0B, 0x01}, 910,
                   {{0, 300 * S}, {-1, 160 * S}, {1, 225 * S}, {2, 150 * S}, {-1, 75 * S}}},
        // Named the Windows way: backslashes, another case than on disk.
        LayoutCase{"windows_names",
                   {{"Disc 1/track01.wav", Kind::Wav, 100 * S}, {"disc 1/Track02.flac", Kind::Flac, 80 * S}},
                   "FILE \"DISC 1\\TRACK01.WAV\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                   "FILE \"disc 1\\track02.FLAC\" WAVE\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:00:00\r\n",
                   Encoding::Utf8, {0, 100}, {0, 0}, 180, {{0, 100 * S}, {1, 80 * S}}},
        // Written on another machine: a drive-letter path to where the file was then.
        LayoutCase{"windows_absolute_path",
                   {{"Album.wav", Kind::Wav, 100 * S}},
                   "FILE \"C:\\Users\\me\\Music\\ALBUM.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n",
                   Encoding::Utf8, {0}, {0}, 100, {{0, 100 * S}}},
        // WAVE_FORMAT_EXTENSIBLE PCM, its data chunk smaller than its format chunk.
        LayoutCase{"extensible_wav_of_six_frames",
                   {{"x.wav", Kind::WavExtensible, 6}},
                   "FILE \"x.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
                   Encoding::Utf8, {0}, {0}, 1, {{0, 6}, {-1, S - 6}}},
        LayoutCase{"utf16le_sheet",
                   {{"Café – 01.flac", Kind::Flac, 120 * S}},
                   "FILE \"Café – 01.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n",
                   Encoding::Utf16Le, {0}, {0}, 120, {{0, 120 * S}}},
        LayoutCase{"utf16be_sheet",
                   {{"Ärger.wav", Kind::Wav, 90 * S}},
                   "FILE \"Ärger.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
                   Encoding::Utf16Be, {0}, {0}, 90, {{0, 90 * S}}},
        LayoutCase{"windows_1252_sheet",
                   {{"Café – 02 €.wav", Kind::Wav, 90 * S}},
                   "FILE \"Café – 02 €.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n",
                   Encoding::Cp1252, {0}, {0}, 90, {{0, 90 * S}}},
        LayoutCase{"utf8_sheet_without_mark",
                   {{"Mötley ☃.wav", Kind::Wav, 90 * S}},
                   "FILE \"Mötley ☃.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
                   Encoding::Utf8, {0}, {0}, 90, {{0, 90 * S}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Refused sheets: the exact message the user reads after "Cannot access CD drive: ".
struct Refusal {
  const char* name;
  std::string sheet;  // bytes
  std::function<void(const fs::path&)> files;
  const char* message;
};

class CueAudioRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(CueAudioRefusal, SaysWhatIsWrong) {
  const Refusal& c = GetParam();
  tonvik::testing::TempHives temp;
  const fs::path dir = temp.root() / "backup";
  fs::create_directories(dir);
  if (c.files) c.files(dir);
  std::ofstream(dir / "album.cue", std::ios::binary) << c.sheet;
  std::string error;
  EXPECT_EQ(ImageTransport::Open((dir / "album.cue").string(), &error), nullptr);
  EXPECT_EQ(error, c.message);
  EXPECT_EQ(DriveOpenFailureMessage(EINVAL, error), u"Cannot access CD drive: " + std::u16string(error.begin(), error.end()) + u".");
}

const std::string kOneTrack = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";

INSTANTIATE_TEST_SUITE_P(
    Sheets, CueAudioRefusal,
    ::testing::Values(
        Refusal{"missing_file", "REM DISCID 12345678\nFILE \"01.wav\" WAVE\n" + kOneTrack +
                                    "FILE \"Track 07.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n",
                [](const fs::path& d) { WriteWav(d / "01.wav", Pcm(0, 10 * S)); },
                "album.cue line 5: \"Track 07.wav\" not found"},
        Refusal{"wav_24_bit", "FILE \"hi.wav\" WAVE\n" + kOneTrack,
                [](const fs::path& d) { WriteWav(d / "hi.wav", Pcm(0, 10 * S), 24); },
                "album.cue line 1: \"hi.wav\" is 24-bit 44100 Hz stereo WAV, not CD audio (16-bit 44100 Hz stereo)"},
        Refusal{"wav_float", "FILE \"f.wav\" WAVE\n" + kOneTrack,
                [](const fs::path& d) { WriteWav(d / "f.wav", Pcm(0, 10 * S), 32, 44100, 2, 3); },
                "album.cue line 1: \"f.wav\" is a WAV file of floating-point samples (format 3), not PCM"},
        Refusal{"wav_extensible_float", "FILE \"f.wav\" WAVE\n" + kOneTrack,
                [](const fs::path& d) { WriteWavChunks(d / "f.wav", FmtChunk(0xFFFE, 40, WaveGuid(3)), Pcm(0, 10 * S)); },
                "album.cue line 1: \"f.wav\" is a WAV file of floating-point samples (format 3), not PCM"},
        // The GUID starts as PCM's does but is not a WAVE_FORMAT one
        // (KSDATAFORMAT_SUBTYPE_AMBISONIC_B_FORMAT_PCM).
        Refusal{"wav_extensible_ambisonic", "FILE \"a.wav\" WAVE\n" + kOneTrack,
                [](const fs::path& d) {
                  const std::string guid("\x01\0\0\0\x21\x07\xD3\x11\x86\x44\xC8\xC1\xCA\0\0\0", 16);
                  WriteWavChunks(d / "a.wav", FmtChunk(0xFFFE, 40, guid), Pcm(0, 10 * S));
                },
                "album.cue line 1: \"a.wav\" is a WAV file of compressed audio (format 65534), not PCM"},
        Refusal{"wav_extensible_without_sub_format", "FILE \"x.wav\" WAVE\n" + kOneTrack,
                [](const fs::path& d) { WriteWavChunks(d / "x.wav", FmtChunk(0xFFFE, 18), Pcm(0, 10 * S)); },
                "album.cue line 1: \"x.wav\" is a WAV file with a damaged format chunk"},
        // A second format chunk replaces the first whole: the PCM sub-format
        // of the first is not read into the second.
        Refusal{"wav_second_format_chunk_without_sub_format", "FILE \"x.wav\" WAVE\n" + kOneTrack,
                [](const fs::path& d) {
                  WriteWavChunks(d / "x.wav", FmtChunk(0xFFFE, 40, WaveGuid(1)) + FmtChunk(0xFFFE, 18), Pcm(0, 10 * S));
                },
                "album.cue line 1: \"x.wav\" is a WAV file with a damaged format chunk"},
        Refusal{"flac_48_khz", "FILE \"dat.flac\" WAVE\n" + kOneTrack,
                [](const fs::path& d) { WriteFlac(d / "dat.flac", Pcm(0, 10 * S), 48000); },
                "album.cue line 1: \"dat.flac\" is 16-bit 48000 Hz stereo FLAC, not CD audio (16-bit 44100 Hz stereo)"},
        Refusal{"mp3_named_wave", "FILE \"a.mp3\" WAVE\n" + kOneTrack,
                [](const fs::path& d) { std::ofstream(d / "a.mp3") << "ID\x02\x03 not really a tag, and no FLAC"; },
                "album.cue line 1: \"a.mp3\" is neither a WAV nor a FLAC file"},
        Refusal{"flac_shorter_than_last_index",
                "FILE \"short.flac\" WAVE\n" + kOneTrack + "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\n    INDEX 01 00:02:00\n",
                [](const fs::path& d) { WriteFlac(d / "short.flac", Pcm(0, 100 * S)); },
                "album.cue line 6: INDEX 01 00:02:00 lies beyond the end of \"short.flac\" (00:01:25 long)"},
        Refusal{"not_text", std::string("fLaC\0\0\0\x22\x10\0\x10\0", 12) + "FILE x.bin BINARY\n", nullptr,
                "album.cue: not a text file"},
        Refusal{"utf16_without_mark", Encode("FILE \"a.wav\" WAVE\n", Encoding::Utf16Le).substr(2), nullptr,
                "album.cue: not a text file"}),
    [](const auto& info) { return std::string(info.param.name); });

// A damaged FLAC is a read error where it is damaged, never other audio.
class DamagedFlac : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.root() / "backup";
    fs::create_directories(dir_);
    pcm_ = Pcm(0, sectors_ * S);
    WriteFlac(dir_ / "Album.flac", pcm_);
    std::ofstream(dir_ / "album.cue") << "FILE \"Album.flac\" WAVE\n" + kOneTrack;
  }
  void Patch(int64_t offset, uint8_t mask) {
    std::fstream f(dir_ / "Album.flac", std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(offset);
    char c = 0;
    f.get(c);
    f.seekp(offset);
    f.put(char(c ^ mask));
  }
  std::unique_ptr<CdDrive> Drive() {
    std::string error;
    auto transport = ImageTransport::Open((dir_ / "album.cue").string(), &error);
    EXPECT_TRUE(transport) << error;
    return transport ? std::make_unique<CdDrive>(std::move(transport)) : nullptr;
  }
  bool SectorIsRight(const uint8_t* got, int32_t lba) const {
    return std::memcmp(got, pcm_.data() + size_t(lba) * 2352, 2352) == 0;
  }

  tonvik::testing::TempHives temp_;
  fs::path dir_;
  const int32_t sectors_ = 1200;  // 16 s: reading backwards from the end seeks
  Bytes pcm_;
};

TEST_F(DamagedFlac, AFrameThatFailsItsCrcFailsTheSectorsItHolds) {
  Patch(int64_t(fs::file_size(dir_ / "Album.flac")) / 2, 0x10);
  // Sector by sector in order, then on a drive of its own backwards
  // (through seeks): the same few sectors fail, every other one is right.
  // In order the whole file is decoded, so its MD5 fails the last read too.
  std::vector<int32_t> stretch[2];
  for (int pass = 0; pass < 2; ++pass) {
    auto drive = Drive();
    ASSERT_TRUE(drive);
    std::vector<int32_t>& failed = stretch[pass];
    uint8_t sector[2352];
    for (int32_t i = 0; i < sectors_; ++i) {
      const int32_t lba = pass == 0 ? i : sectors_ - 1 - i;
      const SenseCode sense = drive->ReadCd(lba, 1, sector);
      if (sense != 0) {
        EXPECT_EQ(sense, 0x31100);
        failed.push_back(lba);
      } else {
        EXPECT_TRUE(SectorIsRight(sector, lba)) << "pass " << pass << ", LBA " << lba;
      }
    }
    std::sort(failed.begin(), failed.end());
    if (pass == 0) {
      // The read that decoded the last frame (at most 7 sectors) and those after it.
      ASSERT_FALSE(failed.empty());
      EXPECT_EQ(failed.back(), sectors_ - 1) << "the MD5 check";
      while (!failed.empty() && failed.back() >= sectors_ - 8) failed.pop_back();
    }
    ASSERT_FALSE(failed.empty()) << "pass " << pass;
    EXPECT_LE(failed.size(), 30u) << "a damaged frame and the one the decoder lost with it";
    EXPECT_EQ(failed.back() - failed.front() + 1, int32_t(failed.size())) << "one stretch";
  }
  EXPECT_EQ(stretch[0], stretch[1]);
}

TEST_F(DamagedFlac, AnMd5MismatchFailsTheReadThatCompletesTheFile) {
  Patch(4 + 4 + 18, 0x01);  // first byte of STREAMINFO's MD5
  auto drive = Drive();
  ASSERT_TRUE(drive);
  Bytes got(26 * 2352);
  int32_t lba = 0;
  for (; lba + 26 < sectors_; lba += 26) ASSERT_EQ(drive->ReadCd(lba, 26, got.data()), 0) << lba;
  EXPECT_EQ(drive->ReadCd(lba, uint8_t(sectors_ - lba), got.data()), 0x31100);
  EXPECT_EQ(drive->ReadCd(0, 1, got.data()), 0x31100) << "the file stays unreadable";
}

TEST_F(DamagedFlac, AnIntactFileDecodedWholeStaysReadable) {
  auto drive = Drive();
  ASSERT_TRUE(drive);
  Bytes got(26 * 2352);
  for (int32_t lba = 0; lba < sectors_; lba += 26) {
    const int n = std::min(26, sectors_ - lba);
    ASSERT_EQ(drive->ReadCd(lba, uint8_t(n), got.data()), 0) << lba;
  }
  ASSERT_EQ(drive->ReadCd(300, 1, got.data()), 0);
  EXPECT_TRUE(SectorIsRight(got.data(), 300));
}

// STREAMINFO states 1000 samples fewer than the frames hold (its MD5 still
// matches them): the file disagrees with itself and fails as a whole, found
// by a read at the end through a seek as well as by a rip in order.
TEST_F(DamagedFlac, FramesPastTheStatedLengthFailTheFile) {
  {  // the low 32 bits of STREAMINFO's total sample count
    std::fstream f(dir_ / "Album.flac", std::ios::in | std::ios::out | std::ios::binary);
    uint8_t total[4];
    f.seekg(8 + 14);
    f.read(reinterpret_cast<char*>(total), 4);
    const uint32_t stated = uint32_t(total[0] << 24 | total[1] << 16 | total[2] << 8 | total[3]) - 1000;
    ASSERT_EQ(stated, uint32_t(sectors_ * S - 1000));
    const char bytes[4] = {char(stated >> 24), char(stated >> 16), char(stated >> 8), char(stated)};
    f.seekp(8 + 14);
    f.write(bytes, 4);
  }
  const int32_t lead_out = sectors_ - 1;  // 1000 samples short of the last sector's end
  uint8_t sector[2352];
  auto at_end = Drive();
  ASSERT_TRUE(at_end);
  ASSERT_EQ(at_end->ReadCd(10, 1, sector), 0);
  EXPECT_EQ(at_end->ReadCd(lead_out - 1, 1, sector), 0x31100);
  EXPECT_EQ(at_end->ReadCd(10, 1, sector), 0x31100);

  auto in_order = Drive();
  ASSERT_TRUE(in_order);
  int32_t lba = 0;
  while (lba < lead_out && in_order->ReadCd(lba, 1, sector) == 0) {
    EXPECT_TRUE(SectorIsRight(sector, lba)) << lba;
    ++lba;
  }
  EXPECT_GT(lba, lead_out - 10) << "the failure comes with the last frame";
  EXPECT_LT(lba, lead_out);
  EXPECT_EQ(in_order->ReadCd(0, 1, sector), 0x31100);
}

TEST_F(DamagedFlac, ACutOffFileFailsWhereItEnds) {
  fs::resize_file(dir_ / "Album.flac", fs::file_size(dir_ / "Album.flac") / 2);
  auto drive = Drive();
  ASSERT_TRUE(drive);
  uint8_t sector[2352];
  ASSERT_EQ(drive->ReadCd(10, 1, sector), 0);
  EXPECT_TRUE(SectorIsRight(sector, 10));
  EXPECT_EQ(drive->ReadCd(sectors_ - 1, 1, sector), 0x31100);
  EXPECT_EQ(drive->ReadCd(sectors_ - 400, 1, sector), 0x31100);  // two thirds in, past the cut
  ASSERT_EQ(drive->ReadCd(20, 1, sector), 0) << "what is there stays readable";
  EXPECT_TRUE(SectorIsRight(sector, 20));
}

}  // namespace
}  // namespace tonvik::cdrom
