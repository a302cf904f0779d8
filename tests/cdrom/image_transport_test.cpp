// The disc-image drive answering the ripper's commands, through CdDrive.
#include "cdrom/image_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "cdrom/cd_drive.h"
#include "image_fixture.h"
#include "support/wait_until.h"

namespace tonvik::cdrom {
namespace {

using testing::ImageFolder;
using testing::ImageTrack;

std::unique_ptr<CdDrive> OpenImage(const std::string& cue, ImageTransport** image = nullptr) {
  std::string error;
  auto transport = ImageTransport::Open(cue, &error);
  EXPECT_TRUE(transport) << error;
  if (image) *image = transport.get();
  return std::make_unique<CdDrive>(std::move(transport));
}

std::vector<uint8_t> Bin(const std::string& cue) {
  return ImageFolder::ReadFile(std::filesystem::path(cue).replace_extension(".bin"));
}

TEST(ImageDrive, ReadCdReturnsExactlyTheBinBytes) {
  ImageFolder folder;
  const std::string cue = folder.MakePreset("tiny");
  ImageTransport* image = nullptr;
  auto drive = OpenImage(cue, &image);
  const auto bin = Bin(cue);
  ASSERT_EQ(bin.size(), size_t(2 * 75 + 1 + 75) * 2352);
  // Across the 1-sector track 2 into track 3, then single sectors at both ends.
  struct Read { int32_t lba; uint8_t count; } reads[] = {{140, 26}, {0, 1}, {225, 1}, {150, 1}};
  for (const Read& r : reads) {
    std::vector<uint8_t> out(r.count * 2352, 0xCC);
    ASSERT_EQ(drive->ReadCd(r.lba, r.count, out.data()), 0) << r.lba;
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bin.begin() + r.lba * 2352)) << r.lba;
  }
  auto counters = image->counters();
  EXPECT_EQ(counters->read_cd_calls, 4);
  EXPECT_EQ(counters->sectors_read, 29);
  EXPECT_EQ(counters->lowest_lba, 0);
  EXPECT_EQ(counters->highest_lba, 225);

  std::vector<uint8_t> out(2 * 2352);
  EXPECT_EQ(drive->ReadCd(226, 1, out.data()), 0x52100);  // the lead-out LBA itself
  EXPECT_EQ(drive->ReadCd(225, 2, out.data()), 0x52100);  // runs past the end
  EXPECT_EQ(counters->sectors_read, 29);
}

TEST(ImageDrive, IdentifiesAsACdDriveWithACompleteCdRom) {
  ImageFolder folder;
  auto drive = OpenImage(folder.MakePreset("enhanced"));
  uint8_t inquiry[36], config[8], info[32];
  ASSERT_EQ(drive->Inquiry(inquiry), 0);
  EXPECT_EQ(inquiry[0] & 0x1F, 5);
  ASSERT_EQ(drive->GetConfiguration(config), 0);
  EXPECT_EQ(config[6] << 8 | config[7], 0x0008);
  ASSERT_EQ(drive->ReadDiscInformation(info), 0);
  EXPECT_EQ(info[2] & 0x03, 2);
  EXPECT_EQ(info[2] & 0x10, 0);
  EXPECT_EQ(info[4], 2);  // sessions
  EXPECT_EQ(info[21], 0xFF);
  EXPECT_EQ(info[22], 0xFF);
  EXPECT_EQ(info[23], 0xFF);
}

TEST(ImageDrive, TocHonoursFirstTrackAndAllocation) {
  ImageFolder folder;
  auto drive = OpenImage(folder.MakePreset("enhanced"));
  uint8_t header[12];
  ASSERT_EQ(drive->ReadTocHeader(header), 0);
  EXPECT_EQ(header[0] << 8 | header[1], 2 + 5 * 8);  // four tracks and the lead-out
  EXPECT_EQ(header[2], 1);
  EXPECT_EQ(header[3], 4);
  EXPECT_EQ(header[6], 1);  // first descriptor: track 1 at LBA 0
  EXPECT_EQ(header[11], 0);

  std::vector<uint8_t> toc(64, 0xEE);
  ASSERT_EQ(drive->ReadToc(3, toc.data(), 28), 0);
  EXPECT_EQ(toc[0] << 8 | toc[1], 2 + 3 * 8);  // tracks 3, 4 and the lead-out
  const auto lba = [&](int at) { return toc[at + 4] << 24 | toc[at + 5] << 16 | toc[at + 6] << 8 | toc[at + 7]; };
  EXPECT_EQ(toc[6], 3);
  EXPECT_EQ(lba(4), 35 * 75);
  EXPECT_EQ(toc[5] & 0x0F, 0);
  EXPECT_EQ(toc[14], 4);
  EXPECT_EQ(toc[13] & 0x0F, 4);                   // data
  EXPECT_EQ(lba(12), 45 * 75 + 6750 + 4500 + 150);  // after the session gap
  EXPECT_EQ(toc[22], 0xAA);
  EXPECT_EQ(toc[26], uint8_t((lba(12) + 750) >> 8));
  EXPECT_EQ(toc[28], 0xEE);  // the allocation length cut the lead-out's last bytes
}

struct FaultCase {
  const char* name;
  const char* faults;
  std::function<SenseCode(CdDrive&)> command;
  SenseCode expected;
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, ShowAsTheDriveWould) {
  ImageFolder folder;
  auto drive = OpenImage(folder.MakePreset("tiny", GetParam().faults));
  EXPECT_EQ(GetParam().command(*drive), GetParam().expected);
}

SenseCode Profile(CdDrive& d) {
  uint8_t c[8] = {};
  const SenseCode code = d.GetConfiguration(c);
  return code ? code : c[6] << 8 | c[7];
}
SenseCode Read(CdDrive& d, int32_t lba, uint8_t count) {
  std::vector<uint8_t> out(count * 2352);
  return d.ReadCd(lba, count, out.data());
}
SenseCode DiscStatus(CdDrive& d) {
  uint8_t info[32] = {};
  const SenseCode code = d.ReadDiscInformation(info);
  return code ? code : info[2] & 0x03;
}

INSTANTIATE_TEST_SUITE_P(
    Plan, Faults,
    ::testing::Values(
        FaultCase{"clean_profile", "", Profile, 0x0008},
        FaultCase{"sense_for_opcode", "sense 43 3 2 0\n", [](CdDrive& d) { uint8_t h[12]; return d.ReadTocHeader(h); }, 0x30200},
        FaultCase{"sense_other_opcode", "sense 43 3 2 0\n", Profile, 0x0008},
        FaultCase{"noconfig", "# old drive\nnoconfig\n", Profile, 0x52000},
        FaultCase{"nodisc_profile", "nodisc", Profile, 0},
        FaultCase{"nodisc_read", "nodisc", [](CdDrive& d) { return Read(d, 0, 1); }, 0x23A00},
        FaultCase{"nodisc_info", "nodisc", DiscStatus, 0x23A00},
        FaultCase{"blank", "blank", DiscStatus, 0},
        FaultCase{"dvd", "profile 0x0010", Profile, 0x0010},
        FaultCase{"unreadable_touched", "unreadable 10 20", [](CdDrive& d) { return Read(d, 5, 6); }, 0x31100},
        FaultCase{"unreadable_end", "unreadable 10 20", [](CdDrive& d) { return Read(d, 20, 3); }, 0x31100},
        FaultCase{"unreadable_before", "unreadable 10 20", [](CdDrive& d) { return Read(d, 0, 10); }, 0},
        FaultCase{"unreadable_after", "unreadable 10 20", [](CdDrive& d) { return Read(d, 21, 26); }, 0},
        FaultCase{"ejectopens", "ejectopens",
                  [](CdDrive& d) { return d.Eject() ? -2 : Read(d, 0, 1); }, 0x23A00},
        FaultCase{"eject_stays_closed", "",
                  [](CdDrive& d) { return d.Eject() ? -2 : Read(d, 0, 1); }, 0},
        FaultCase{"inquirytype", "inquirytype 0",
                  [](CdDrive& d) { uint8_t q[36]; return d.Inquiry(q) ? -2 : q[0] & 0x1F; }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageDrive, UnknownOpcodeAndWrongDirections) {
  ImageFolder folder;
  ImageTransport* image = nullptr;
  auto drive = OpenImage(folder.MakePreset("tiny"), &image);
  uint8_t sense[18];
  uint8_t buffer[8];
  const uint8_t set_speed[12] = {0xBB};
  ASSERT_TRUE(image->Execute(set_speed, 12, kDirectionNone, nullptr, 0, 30, sense));
  EXPECT_EQ(PackSense(true, sense), 0x52000);
  EXPECT_EQ(sense[0], 0x70);
  // A no-data command must come with no buffer, a data command with one.
  const uint8_t stop[6] = {0x1B, 1, 0, 0, 0, 0};
  EXPECT_FALSE(image->Execute(stop, 6, kDirectionNone, buffer, 8, 30, sense));
  const uint8_t inquiry[6] = {0x12, 0, 0, 0, 8, 0};
  EXPECT_FALSE(image->Execute(inquiry, 6, kDirectionIn, nullptr, 0, 30, sense));
  ASSERT_TRUE(image->Execute(stop, 6, kDirectionNone, nullptr, 0, 30, sense));
  for (uint8_t b : sense) EXPECT_EQ(b, 0);  // success: all-zero sense
}

TEST(ImageDrive, JitterShiftsTheFirstReadOnly) {
  ImageFolder folder;
  const std::string cue = folder.MakePreset("tiny", "jitter 100 120 8\njitter 130 140 -5\n");
  auto drive = OpenImage(cue);
  const auto bin = Bin(cue);
  struct Case { int32_t lba; int shift_bytes; } cases[] = {{100, 32}, {100, 0}, {110, 32}, {99, 0}, {130, -20}, {130, 0}};
  for (const Case& c : cases) {
    std::vector<uint8_t> out(2 * 2352);
    ASSERT_EQ(drive->ReadCd(c.lba, 2, out.data()), 0);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), bin.begin() + c.lba * 2352 + c.shift_bytes))
        << c.lba << " shifted " << c.shift_bytes;
  }
}

// What a drive with read offset n must deliver for count sectors at lba: the
// disc's samples from 588*lba - n on, silence outside the disc.
std::vector<uint8_t> DiscShifted(const std::vector<uint8_t>& bin, int32_t lba, int32_t count, int32_t n) {
  const int64_t disc_samples = int64_t(bin.size() / 4);
  std::vector<uint8_t> out;
  for (int64_t q = int64_t(lba) * 588 - n; q < int64_t(lba + count) * 588 - n; ++q)
    for (int b = 0; b < 4; ++b) out.push_back(q >= 0 && q < disc_samples ? bin[size_t(q * 4 + b)] : 0);
  return out;
}

TEST(ImageDrive, ReadOffsetShiftsEveryReadBySamplesWithSilenceOutsideTheDisc) {
  const int32_t offsets[] = {0, 6, 667, -1164, -588, 588};
  struct Where { const char* label; int32_t lba, count; };
  // The disc: 300 + 200 sectors; the lead-out at 500.
  const Where reads[] = {{"disc start", 0, 3},     {"second sector", 1, 1}, {"track boundary", 298, 4},
                         {"middle", 250, 26},       {"last sectors", 497, 3}, {"last sector", 499, 1}};
  for (int32_t n : offsets) {
    ImageFolder folder;
    const std::string cue = folder.Make("offset", {{ImageTrack::Audio, 300, ImageTrack::Music},
                                                   {ImageTrack::Audio, 200, ImageTrack::Music}},
                                        "offset " + std::to_string(n) + "\n");
    auto drive = OpenImage(cue);
    const auto bin = Bin(cue);
    ASSERT_EQ(bin.size(), 500u * 2352);
    for (const Where& w : reads) {
      SCOPED_TRACE(std::string(w.label) + ", offset " + std::to_string(n));
      std::vector<uint8_t> out(size_t(w.count) * 2352, 0xCC);
      ASSERT_EQ(drive->ReadCd(w.lba, uint8_t(w.count), out.data()), 0);
      const auto expected = DiscShifted(bin, w.lba, w.count, n);
      EXPECT_TRUE(out == expected);
      // The shift is visible: the unshifted bytes differ unless n is 0.
      EXPECT_EQ(std::equal(out.begin(), out.end(), bin.begin() + w.lba * 2352), n == 0);
    }
    // Sectors outside the disc stay refused, whatever the drive reaches on its own.
    std::vector<uint8_t> out(2352);
    EXPECT_EQ(drive->ReadCd(500, 1, out.data()), 0x52100);
    EXPECT_EQ(drive->ReadCd(-1, 1, out.data()), 0x52100);
  }
}

TEST(ImageDrive, FlippedBitsOnlyOnTheFirstReadOfASector) {
  ImageFolder folder;
  const std::string cue = folder.MakePreset("tiny", "flipbits 10 11 100\n");
  auto drive = OpenImage(cue);
  const auto bin = Bin(cue);
  std::vector<uint8_t> out(4 * 2352);
  ASSERT_EQ(drive->ReadCd(9, 4, out.data()), 0);
  int differing = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t x = out[i] ^ bin[9 * 2352 + i];
    if (x) {
      ++differing;
      EXPECT_EQ(__builtin_popcount(x), 1);
      EXPECT_GE(i, 2352u);
      EXPECT_LT(i, 3 * 2352u);
    }
  }
  EXPECT_EQ(differing, (12 * 2352 - 1) / 100 - (10 * 2352 - 1) / 100);  // every 100th disc byte of LBA 10 and 11
  ASSERT_EQ(drive->ReadCd(9, 4, out.data()), 0);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), bin.begin() + 9 * 2352));
}

TEST(ImageDrive, NoisySectorsNeverComeBackTheSameAndTheirNeighboursStayExact) {
  ImageFolder folder;
  const std::string cue = folder.MakePreset("tiny", "noise 10 11\n");
  auto drive = OpenImage(cue);
  const auto bin = Bin(cue);
  std::vector<std::vector<uint8_t>> reads;
  for (int i = 0; i < 20; ++i) {
    std::vector<uint8_t> out(4 * 2352);
    ASSERT_EQ(drive->ReadCd(9, 4, out.data()), 0);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2352, bin.begin() + 9 * 2352));
    EXPECT_TRUE(std::equal(out.begin() + 3 * 2352, out.end(), bin.begin() + 12 * 2352));
    for (int s = 1; s <= 2; ++s) {
      const std::vector<uint8_t> sector(out.begin() + s * 2352, out.begin() + (s + 1) * 2352);
      EXPECT_FALSE(std::equal(sector.begin(), sector.end(), bin.begin() + (9 + s) * 2352));
      for (const auto& earlier : reads) EXPECT_NE(sector, earlier) << "read " << i << ", sector " << 9 + s;
      reads.push_back(sector);
    }
  }
}

TEST(ImageDrive, SpeedLimitHoldsThroughput) {
  ImageFolder folder;
  auto drive = OpenImage(folder.MakePreset("tiny", "speed 750\n"));
  std::vector<uint8_t> out(25 * 2352);
  const auto start = std::chrono::steady_clock::now();
  for (int32_t lba = 0; lba < 150; lba += 25) ASSERT_EQ(drive->ReadCd(lba, 25, out.data()), 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // 150 sectors at 750 per second take at least 0.2 s; only the lower bound
  // is the drive's, an upper one would measure the machine.
  EXPECT_GE(seconds, 0.195);
}

TEST(ImageDrive, AHeldReadCompletesOnceItsFileExists) {
  ImageFolder folder;
  ImageTransport* image = nullptr;
  auto drive = OpenImage(folder.MakePreset("tiny", "hold 20 29 gate\n"), &image);
  const auto counters = image->counters();
  std::vector<uint8_t> out(10 * 2352);
  ASSERT_EQ(drive->ReadCd(0, 10, out.data()), 0);  // before the held sectors
  std::thread reader([&] { EXPECT_EQ(drive->ReadCd(25, 10, out.data()), 0); });
  // Asked (the call is counted) and still held: nothing delivered.
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return counters->read_cd_calls.load() == 2; }));
  EXPECT_EQ(counters->sectors_read.load(), 10);
  std::ofstream(folder.dir() / "gate") << "";  // a relative name is beside the faults file
  reader.join();
  EXPECT_EQ(counters->sectors_read.load(), 20);
}

struct PlanText {
  const char* text;
  const char* error;  // nullptr: valid
};

class FaultText : public ::testing::TestWithParam<PlanText> {};

TEST_P(FaultText, ParsesOrNamesTheLine) {
  FaultPlan plan;
  std::string error;
  const bool ok = FaultPlan::Parse(GetParam().text, &plan, &error);
  if (GetParam().error) {
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
  } else {
    EXPECT_TRUE(ok) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, FaultText,
    ::testing::Values(PlanText{"# all of them\nsense 46 5 20 0\nnoconfig\nnodisc\nblank\nprofile 10\n"
                               "unreadable 1 2\njitter 1 2 -3\nflipbits 1 2 7 # comment\nbusyeject 3\n"
                               "speed 900\nejectopens\ninquirytype 0\nhold 5 9 /a folder/the gate\nnoise 3 4\n\n",
                               nullptr},
                      PlanText{"offset -1164\noffset +667\noffset 5880\noffset -5880\n", nullptr},
                      PlanText{"offset\n", "line 1: offset <samples>"},
                      PlanText{"offset 5881\n", "offset <samples>"},
                      PlanText{"offset -5881\n", "offset <samples>"},
                      PlanText{"offset 1.5\n", "offset <samples>"},
                      PlanText{"offset 6 7\n", "offset <samples>"},
                      PlanText{"hold 5 9\n", "hold <firstLBA> <lastLBA> <file>"},
                      PlanText{"hold 9 5 gate\n", "hold <firstLBA>"},
                      PlanText{"sense 46 5 20\n", "line 1: sense"},
                      PlanText{"noconfig\nsense 146 5 20 0\n", "line 2"},
                      PlanText{"unreadable 20 10\n", "unreadable <firstLBA>"},
                      PlanText{"jitter 1 2 0\n", "jitter samples"},
                      PlanText{"flipbits 1 2 0\n", "flipbits every"},
                      PlanText{"noise 4 3\n", "noise <firstLBA> <lastLBA>"},
                      PlanText{"noise 4 5 6\n", "noise <firstLBA> <lastLBA>"},
                      PlanText{"busyeject -1\n", "busyeject"},
                      PlanText{"nodisc now\n", "unknown fault"},
                      PlanText{"explode\n", "unknown fault"}));

TEST(ImageDrive, FaultsComeOnlyFromTheFileTheEnvironmentNames) {
  ImageFolder folder;
  const std::string cue = folder.MakePreset("tiny");
  std::string error;
  // A faults file beside a sheet means nothing to the drive, under either
  // name: only the file the environment names does.
  ::unsetenv("TONVIK_FAULTS");
  for (const std::string& name : {cue + ".faults", std::filesystem::path(cue).replace_extension(".faults").string()}) {
    std::ofstream(name) << "profile 0x000A\nnodisc\n";
    auto transport = ImageTransport::Open(cue, &error);
    ASSERT_TRUE(transport) << error;
    EXPECT_EQ(transport->plan().profile, 0x0008) << name;
    EXPECT_FALSE(transport->plan().no_disc) << name;
  }
  const std::string plan = (folder.dir() / "plan").string();
  ::setenv("TONVIK_FAULTS", plan.c_str(), 1);
  {
    auto transport = ImageTransport::Open(cue, &error);  // named, but not there: no faults
    ASSERT_TRUE(transport) << error;
    EXPECT_EQ(transport->plan().profile, 0x0008);
  }
  std::ofstream(plan) << "profile 0x000A\n";
  {
    auto transport = ImageTransport::Open(cue, &error);
    ASSERT_TRUE(transport) << error;
    EXPECT_EQ(transport->plan().profile, 0x000A);
  }
  // A held read's file: a relative name is beside the plan, an absolute one
  // stays, spaces and all.
  std::ofstream(plan) << "hold 1 2 the gate\nhold 3 4 /a folder/gate  \n";
  auto transport = ImageTransport::Open(cue, &error);
  ASSERT_TRUE(transport) << error;
  ASSERT_EQ(transport->plan().holds.size(), 2u);
  EXPECT_EQ(transport->plan().holds[0].file, (folder.dir() / "the gate").string());
  EXPECT_EQ(transport->plan().holds[1].file, "/a folder/gate");
  EXPECT_EQ(transport->plan().holds[1].first, 3);
  EXPECT_EQ(transport->plan().holds[1].last, 4);
  std::ofstream(plan) << "profile\n";
  EXPECT_EQ(ImageTransport::Open(cue, &error), nullptr);
  EXPECT_NE(error.find(plan + ": line 1"), std::string::npos) << error;
  ::unsetenv("TONVIK_FAULTS");
}

}  // namespace
}  // namespace tonvik::cdrom
