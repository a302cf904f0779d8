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

}  // namespace
}  // namespace tonvik
