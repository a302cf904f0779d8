// Test helper: the rip job's fixture. Real disc images through the image
// drive, a sandbox of hives and a music folder, files decoded by ffmpeg.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <thread>

#include <zlib.h>

#include "accuraterip/disc_ids.h"
#include "accuraterip/disc_toc.h"
#include "accuraterip/record_bytes.h"
#include "accuraterip/track_checksum.h"
#include "cdrom/disc_check.h"
#include "cdrom/reader_thread.h"
#include "ctdb/disc_crc.h"
#include "ctdb/toc.h"
#include "core/settings.h"
#include "disc_image.h"
#include "lookup/disc_id.h"
#include "output/disc_metadata.h"
#include "platform/registry.h"
#include "platform/system_modules.h"
#include "platform/text.h"
#include "output/overwrite.h"
#include "rip/encoder_pool.h"
#include "rip/rip_job.h"
#include "rip/rip_session.h"
#include "rip/recording_observer.h"
#include "riplog/log_file.h"
#include "support/loopback_server.h"
#include "support/extras_sheet.h"
#include "support/temp_hives.h"
#include "support/wait_until.h"
#include "support/no_network.h"

namespace tonvik {
namespace {

namespace fs = std::filesystem;
using testing::RecordingObserver;
using testing::TempHives;
using testing::WaitUntil;
using namespace cdrom;

[[maybe_unused]] std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Raw PCM of a lossless file, decoded by ffmpeg.
[[maybe_unused]] std::string DecodeToPcm(const fs::path& file) {
  std::string cmd = "ffmpeg -v error -i '" + file.string() + "' -f s16le -acodec pcm_s16le -";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

[[maybe_unused]] std::vector<fs::path> FilesUnder(const fs::path& dir) {
  std::vector<fs::path> files;
  if (!fs::exists(dir)) return files;
  for (auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), dir));
  std::sort(files.begin(), files.end());
  return files;
}

class RipJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The installed tree's run-time modules, or the build's own where the
    // tree was not installed (the sanitizer builds).
    const std::string stage = std::string(TONVIK_STAGE_DIR) + "/lib/tonvik/";
    hives_.Install(fs::exists(stage + "lame_enc.so") ? stage
                                                     : std::string(TONVIK_BINARY_DIR) + "/src/modules/lame_enc/");
    music_ = hives_.root() / "music";
    fs::create_directories(music_);
  }

  // Writes an image of audio tracks of the given lengths (sectors), maps it
  // to drive D, runs the disc check on the drive root.
  // `extras` go into the sheet (catalogue number, ISRCs, pregaps, CD-Text).
  void MakeDisc(const std::vector<int32_t>& sectors, const std::string& faults = "", bool enhanced = false,
                const testing::SheetExtras& extras = {}) {
    std::vector<discimage::ImageTrack> tracks;
    for (int32_t n : sectors) tracks.push_back({discimage::ImageTrack::Audio, n, discimage::ImageTrack::Music});
    // An enhanced CD: a data track opening a second session.
    if (enhanced) tracks.push_back({discimage::ImageTrack::Mode2, 75 * 5, discimage::ImageTrack::Silence, 2});
    cue_ = hives_.root() / "disc" / "disc.cue";
    fs::create_directories(cue_.parent_path());
    std::string error;
    ASSERT_TRUE(discimage::WriteDiscImage(cue_.string(), tracks, false, &error)) << error;
    UseSheet(faults, extras);
  }
  // Adds the extras to the sheet at cue_, gives the image drive the faults,
  // maps drive D to the sheet and runs the disc check.
  void UseSheet(const std::string& faults, const testing::SheetExtras& extras) {
    testing::AddSheetExtras(cue_.string(), extras);
    // The image drive reads its faults from the file TONVIK_FAULTS names.
    const std::string plan = cue_.string() + ".faults";
    std::ofstream(plan) << faults;
    ::setenv("TONVIK_FAULTS", plan.c_str(), 1);
    MapDrive(cue_.string());
    disc_ = CheckDisc({u"D:\\"});
  }
  void MapDrive(const std::string& target) {
    reg::Key::Create(reg::Root::CurrentUser, u"Software\\Quellbrook\\vandral\\Drives")
        ->SetString(u"D", FromUtf8(target));
  }
  // The PCM of track n as the image holds it.
  std::string TrackPcm(int track) {
    auto map = BuildTrackMap(disc_.toc);
    const TrackExtent e = map.at(track);
    std::string bin = Slurp(fs::path(cue_).replace_extension(".bin"));
    return bin.substr(size_t(e.first_sector) * 2352, size_t(e.sector_count) * 2352);
  }
  // A new rip session of the disc, the metadata and the prompt in the format
  // at Normal quality; its job.
  RipJob& Job(int format) {
    session_ = std::make_shared<RipSession>();
    session_->disc = disc_;
    session_->metadata = metadata_;
    session_->format = EncoderSelection{format, 1, 0};
    session_->overwrite.SetPrompt(prompt_);
    session_->job.destination = music_.u16string();
    return session_->job;
  }
  void Run(RipJob&) { RunRipJob(*session_, control_, observer_); }
  void SetOption(const char16_t* name, int32_t v) {
    reg::Key::Create(reg::Root::CurrentUser, kProductKey)->SetDword(name, v);
  }

  TempHives hives_;
  fs::path music_, cue_;
  DiscState disc_;                     // what the disc check found
  DiscMetadata metadata_;              // the record of the next session
  OverwritePrompt* prompt_ = nullptr;  // the prompt of the next session
  std::shared_ptr<RipSession> session_;
  RipControl control_;
  RecordingObserver observer_;
};

// Verification: the image's disc and a record of it, built here from the
// image's own bytes and served by the loopback server as the database.
class RipVerifyTest : public RipJobTest {
 protected:
  void TearDown() override {
    server_.reset();
    tonvik::testing::PointProxyNowhere();
  }
  accuraterip::DiscIds Ids() { return accuraterip::ComputeDiscIds(*accuraterip::DiscTocFromReadToc(disc_.toc)); }
  // The sums of the image's PCM of every audio track.
  std::vector<accuraterip::TrackSums> ImageSums() {
    std::vector<accuraterip::TrackSums> sums;
    for (const auto& t : accuraterip::AudioTracks(*accuraterip::DiscTocFromReadToc(disc_.toc))) {
      accuraterip::TrackChecksum sum(t.first, t.last);
      const std::string pcm = TrackPcm(t.toc_number);
      sum.Add(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size());
      sums.push_back(sum.Finish());
    }
    return sums;
  }
  // Two pressings: one with other audio, one with the image's sums (v1 for
  // odd tracks, v2 for even ones, and the sums of sector 450 unless told
  // otherwise), served for the disc's IDs.
  // The CUETools database's route: "404" (the default), "hang", or "200"
  // for an answer with one entry of the image's CRCs, confidence 5.
  void ServeRecordOfImage(const std::string& route_kind = "200", bool with_450 = true,
                          const std::string& ctdb_route = "404", int foreign_track = 0) {
    std::vector<accuraterip::TrackEntry> other, ours;
    const auto sums = ImageSums();
    for (size_t i = 0; i < sums.size(); ++i) {
      other.push_back({9, sums[i].v1 ^ 0x5a5a5a5au, 0});
      ours.push_back({3, i % 2 == 0 ? sums[i].v1 : sums[i].v2, with_450 ? sums[i].crc450.value_or(0) : 0});
      // A track whose sums in the record are of other audio.
      if (int(i) + 1 == foreign_track) ours.back().crc ^= 0x00ff00ffu;
    }
    const fs::path dir = hives_.root() / "ar";
    fs::create_directories(dir);
    std::ofstream(dir / "record.bin", std::ios::binary)
        << accuraterip::testing::Chunk(Ids(), other) + accuraterip::testing::Chunk(Ids(), ours);
    std::ofstream(dir / "ctdb.xml") << CtdbAnswerOfImage();
    const std::string route = route_kind == "200" ? "200 record.bin" : route_kind;
    server_ = std::make_unique<testing::LoopbackServer>(
        dir, "/accuraterip/" + accuraterip::RecordPath(Ids()) + " " + route + "\n/lookup2.php " +
                 (ctdb_route == "200" ? "200 ctdb.xml" : ctdb_route) + "\n");
    ASSERT_NE(server_->port(), 0) << "the loopback server did not start";
    ::setenv("http_proxy", server_->proxy().c_str(), 1);
  }
  // Sets or clears (a value that is no DWORD counts as none) the ReadOffset
  // under the key.
  void SetReadOffset(const std::u16string& key, std::optional<int32_t> offset) {
    auto k = reg::Key::Create(reg::Root::CurrentUser, key);
    if (offset)
      k->SetDword(u"ReadOffset", *offset);
    else
      k->SetString(u"ReadOffset", u"");
  }
  std::optional<int32_t> StoredOffset() {
    auto key = reg::Key::Open(reg::Root::CurrentUser, kImageModelKey);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!key || !key->Query(u"ReadOffset", &type, &data) || type != reg::kDword) return std::nullopt;
    return int32_t(data[0] | data[1] << 8 | data[2] << 16 | uint32_t(data[3]) << 24);
  }
  const std::u16string kImageModelKey = DriveModelKey("TONVIK", "DISC IMAGE");
  // The database's answer for the image: one entry with the CRCs of its
  // audio as the image holds it.
  std::string CtdbAnswerOfImage() {
    const accuraterip::DiscToc toc = *accuraterip::DiscTocFromReadToc(disc_.toc);
    ctdb::DiscCrc crcs(ctdb::LayoutOf(toc));
    for (const auto& t : accuraterip::AudioTracks(toc)) {
      const std::string pcm = TrackPcm(t.toc_number);
      crcs.Add(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size());
    }
    char hex[16];
    std::string tracks;
    for (int t = 0; t < crcs.tracks(); ++t) {
      std::snprintf(hex, sizeof hex, "%s%08x", t ? " " : "", crcs.Track(t, 0).value_or(0));
      tracks += hex;
    }
    std::snprintf(hex, sizeof hex, "%08x", crcs.Disc(0).value_or(0));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">\n"
           "  <entry confidence=\"5\" crc32=\"" + std::string(hex) + "\" id=\"1\" npar=\"8\" stride=\"5880\" toc=\"" +
           ctdb::TocString(toc) + "\" trackcrcs=\"" + tracks + "\" />\n</ctdb>\n";
  }
  // Flips the low bit of one sample in the middle of the track's image.
  void FlipSampleOf(int track) {
    const TrackExtent e = BuildTrackMap(disc_.toc).at(track);
    const fs::path bin = fs::path(cue_).replace_extension(".bin");
    std::fstream f(bin, std::ios::in | std::ios::out | std::ios::binary);
    const std::streamoff at = (std::streamoff(e.first_sector) + e.sector_count / 2) * 2352 + 1000;
    f.seekg(at);
    char c = 0;
    f.get(c);
    f.seekp(at);
    f.put(char(c ^ 1));
  }
  // The value of the log's field, as it stands after the label's padding.
  static std::string LogField(const std::string& log, const std::string& label) {
    const size_t at = log.find("\n" + label + ":");
    if (at == std::string::npos) return "(no " + label + " line)";
    const size_t from = log.find_first_not_of(' ', at + label.size() + 2);
    return log.substr(from, log.find('\n', from) - from);
  }
  std::vector<fs::path> Logs() {
    std::vector<fs::path> logs;
    for (const fs::path& f : FilesUnder(music_))
      if (f.extension() == ".log") logs.push_back(f);
    return logs;
  }

  std::unique_ptr<testing::LoopbackServer> server_;
};

}  // namespace
}  // namespace tonvik
