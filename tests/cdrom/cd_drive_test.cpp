// CdDrive: the request per command, SenseCode packing, SG_IO request building
// and sense handling (through the ioctl seam), opening by drive letter, eject.
#include "cdrom/cd_drive.h"

#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "cdrom/image_transport.h"
#include "cdrom/sg_transport.h"
#include "image_fixture.h"
#include "platform/text.h"

namespace tonvik::cdrom {
namespace {

using testing::ImageFolder;

struct SentRequest {
  std::vector<uint8_t> cdb;
  int dxfer_direction = 0;
  void* dxferp = nullptr;
  unsigned dxfer_len = 0;
  unsigned timeout_ms = 0;
  int mx_sb_len = 0;
  char interface_id = 0;
};

// SG_IO as the kernel would answer it: records the request and fills in
// the outcome given by the test.
struct FakeKernel {
  std::vector<SentRequest> sent;
  int result = 0;
  std::vector<uint8_t> sense;  // written to sbp, sb_len_wr set to its size
  unsigned char status = 0;
  unsigned short host_status = 0, driver_status = 0;

  SgTransport::IoctlFunction Function() {
    return [this](int, unsigned long request, void* arg) {
      EXPECT_EQ(request, static_cast<unsigned long>(SG_IO));
      auto* hdr = static_cast<sg_io_hdr_t*>(arg);
      sent.push_back({std::vector<uint8_t>(hdr->cmdp, hdr->cmdp + hdr->cmd_len), hdr->dxfer_direction,
                      hdr->dxferp, hdr->dxfer_len, hdr->timeout, hdr->mx_sb_len, char(hdr->interface_id)});
      if (result < 0) {
        errno = EIO;
        return result;
      }
      if (!sense.empty()) std::memcpy(hdr->sbp, sense.data(), std::min<size_t>(sense.size(), hdr->mx_sb_len));
      hdr->sb_len_wr = static_cast<unsigned char>(sense.size());
      hdr->status = status;
      hdr->host_status = host_status;
      hdr->driver_status = driver_status;
      return 0;
    };
  }
};

std::vector<uint8_t> FixedSense(uint8_t byte0, uint8_t key, uint8_t asc, uint8_t ascq) {
  std::vector<uint8_t> s(18, 0);
  s[0] = byte0;
  s[2] = key;
  s[7] = 10;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

struct CommandCase {
  const char* name;
  std::function<SenseCode(CdDrive&, uint8_t*)> send;
  std::vector<uint8_t> cdb;
  int direction;
  unsigned length;
  unsigned timeout_ms;
};

class SgRequests : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SgRequests, CarryTheCommandTableRow) {
  const CommandCase& c = GetParam();
  FakeKernel kernel;
  CdDrive drive(std::make_unique<SgTransport>(-1, kernel.Function()));
  std::vector<uint8_t> buffer(26 * 2352);
  EXPECT_EQ(c.send(drive, buffer.data()), 0);
  ASSERT_FALSE(kernel.sent.empty());
  const SentRequest& r = kernel.sent.back();
  EXPECT_EQ(r.interface_id, 'S');
  EXPECT_EQ(r.cdb, c.cdb);
  EXPECT_EQ(r.dxfer_direction, c.direction);
  EXPECT_EQ(r.dxfer_len, c.length);
  EXPECT_EQ(r.dxferp, c.length ? static_cast<void*>(buffer.data()) : nullptr);
  EXPECT_EQ(r.timeout_ms, c.timeout_ms);
  EXPECT_EQ(r.mx_sb_len, 18);
  EXPECT_EQ(drive.request().direction, c.direction == SG_DXFER_NONE ? 2 : 1);
  EXPECT_EQ(drive.request().length, c.length);
}

INSTANTIATE_TEST_SUITE_P(
    CommandTable, SgRequests,
    ::testing::Values(
        CommandCase{"inquiry", [](CdDrive& d, uint8_t* b) { return d.Inquiry(b); },
                    {0x12, 0, 0, 0, 0x24, 0}, SG_DXFER_FROM_DEV, 36, 30000},
        CommandCase{"get_configuration", [](CdDrive& d, uint8_t* b) { return d.GetConfiguration(b); },
                    {0x46, 1, 0, 0, 0, 0, 0, 0, 8, 0}, SG_DXFER_FROM_DEV, 8, 30000},
        CommandCase{"disc_information", [](CdDrive& d, uint8_t* b) { return d.ReadDiscInformation(b); },
                    {0x51, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}, SG_DXFER_FROM_DEV, 32, 30000},
        CommandCase{"toc_header", [](CdDrive& d, uint8_t* b) { return d.ReadTocHeader(b); },
                    {0x43, 0, 0, 0, 0, 0, 1, 0, 0x0C, 0}, SG_DXFER_FROM_DEV, 12, 120000},
        CommandCase{"toc", [](CdDrive& d, uint8_t* b) { return d.ReadToc(3, b, 0x0123); },
                    {0x43, 0, 0, 0, 0, 0, 3, 0x01, 0x23, 0}, SG_DXFER_FROM_DEV, 0x123, 120000},
        CommandCase{"read_cd", [](CdDrive& d, uint8_t* b) { return d.ReadCd(0x123456, 26, b); },
                    {0xBE, 0, 0, 0x12, 0x34, 0x56, 0, 0, 26, 0xF8, 0, 0}, SG_DXFER_FROM_DEV, 26 * 2352, 30000},
        // The last step of an eject: a command without data passes no buffer.
        CommandCase{"eject", [](CdDrive& d, uint8_t*) { return d.Eject(); },
                    {0x1B, 0, 0, 0, 2, 0}, SG_DXFER_NONE, 0, 30000}),
    [](const auto& info) { return std::string(info.param.name); });

struct SenseCase {
  const char* name;
  int ioctl_result;
  std::vector<uint8_t> sense;
  unsigned char status;
  unsigned short host_status, driver_status;
  SenseCode expected;
};

class SgSense : public ::testing::TestWithParam<SenseCase> {};

TEST_P(SgSense, DecidesTheOutcome) {
  const SenseCase& c = GetParam();
  FakeKernel kernel;
  kernel.result = c.ioctl_result;
  kernel.sense = c.sense;
  kernel.status = c.status;
  kernel.host_status = c.host_status;
  kernel.driver_status = c.driver_status;
  CdDrive drive(std::make_unique<SgTransport>(-1, kernel.Function()));
  uint8_t out[36];
  EXPECT_EQ(drive.Inquiry(out), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SgSense,
    ::testing::Values(
        SenseCase{"clean", 0, {}, 0, 0, 0, 0},
        SenseCase{"ioctl_fails", -1, {}, 0, 0, 0, -1},
        SenseCase{"no_medium", 0, FixedSense(0x70, 0x02, 0x3A, 0x01), 2, 0, 8, 0x23A01},
        SenseCase{"deferred_error", 0, FixedSense(0x71, 0x05, 0x20, 0x00), 2, 0, 8, 0x52000},
        SenseCase{"key_high_bits_masked", 0, FixedSense(0x70, 0xE3, 0x11, 0x00), 2, 0, 8, 0x31100},
        SenseCase{"all_zero_sense", 0, FixedSense(0x70, 0, 0, 0), 2, 0, 8, -1},
        // Sense data alone decides: a CHECK CONDITION status with a zero
        // response code is still a success.
        SenseCase{"status_ignored_with_sense", 0, FixedSense(0x00, 0x05, 0x20, 0x00), 2, 0, 8, 0},
        // Failed in the adapter or driver without any sense: not a success.
        SenseCase{"host_error_without_sense", 0, {}, 0, 0x0003, 0, -1},
        SenseCase{"driver_timeout_without_sense", 0, {}, 0, 0, 0x0006, -1},
        SenseCase{"check_condition_without_sense", 0, {}, 2, 0, 0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SenseCode, PackingOfFixedSense) {
  struct Row { bool ok; std::vector<uint8_t> sense; SenseCode expected; } rows[] = {
      {true, std::vector<uint8_t>(18, 0), 0},
      {false, std::vector<uint8_t>(18, 0), -1},
      {false, FixedSense(0x70, 5, 0x20, 0), -1},
      {true, FixedSense(0x70, 0, 0, 0), -1},
      {true, FixedSense(0x70, 0, 0, 1), 0x00001},
      {true, FixedSense(0x70, 0x02, 0x04, 0x07), 0x20407},
      {true, FixedSense(0x8F, 0x02, 0x04, 0x07), 0},  // response code bits clear: success
  };
  for (const Row& r : rows) EXPECT_EQ(PackSense(r.ok, r.sense.data()), r.expected);
}

// A clock that moves only when the drive waits: the retry rules are checked
// in drive time, however busy the machine running the test is.
class CountingClock : public WaitClock {
 public:
  explicit CountingClock(std::shared_ptr<ImageCounters> counters) : counters_(std::move(counters)) {}
  std::chrono::steady_clock::time_point Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override {
    sleeps.push_back({duration.count(), counters_->start_stop_calls.load()});
    now_ += duration;
  }
  std::chrono::duration<double> Waited() const { return now_ - std::chrono::steady_clock::time_point{}; }

  struct Sleep {
    int64_t milliseconds;
    int64_t after_call;  // START STOP UNIT commands sent before it
    bool operator==(const Sleep&) const = default;
  };
  std::vector<Sleep> sleeps;

 private:
  std::shared_ptr<ImageCounters> counters_;
  std::chrono::steady_clock::time_point now_{};
};

TEST(CdDrive, EjectRetriesEvery333msWhileBusy) {
  ImageFolder folder;
  std::string error;
  auto transport = ImageTransport::Open(folder.MakePreset("tiny", "busyeject 3\n"), &error);
  ASSERT_TRUE(transport) << error;
  auto counters = transport->counters();
  CdDrive drive(std::move(transport));
  auto clock = std::make_shared<CountingClock>(counters);
  drive.SetWaitClock(clock);
  EXPECT_EQ(drive.Eject(), 0);
  // Stop: busy, busy, busy, done; eject (immediate); eject. One wait after
  // each busy answer, none once the drive has answered.
  EXPECT_EQ(counters->start_stop_calls, 6);
  const std::vector<CountingClock::Sleep> expected = {{333, 1}, {333, 2}, {333, 3}};
  EXPECT_EQ(clock->sleeps, expected);
}

TEST(CdDrive, EjectGivesUpOnAForeverBusyDrive) {
  ImageFolder folder;
  std::string error;
  auto transport = ImageTransport::Open(folder.MakePreset("tiny", "busyeject 1000000\n"), &error);
  ASSERT_TRUE(transport) << error;
  auto counters = transport->counters();
  CdDrive drive(std::move(transport));
  auto clock = std::make_shared<CountingClock>(counters);
  drive.SetWaitClock(clock);
  EXPECT_EQ(drive.Eject(), 0x20407);
  // Thirty seconds in all: the stop step waits them out, the eject step
  // finds no time left and tries once, the final eject once.
  EXPECT_GT(clock->Waited().count(), 29.6);
  EXPECT_LE(clock->Waited().count(), 30.0);
  EXPECT_EQ(counters->start_stop_calls, int64_t(clock->sleeps.size()) + 3);
  for (const auto& sleep : clock->sleeps) EXPECT_EQ(sleep.milliseconds, 333);
}

struct OpenCase {
  const char* name;
  std::function<std::string(ImageFolder&)> target;  // what the letter maps to
  int expected_errno;                               // 0: opens
  const char16_t* message;
};

class OpenByLetter : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenByLetter, OpensOrExplains) {
  const OpenCase& c = GetParam();
  ImageFolder folder;
  folder.Map(u'F', c.target(folder));
  CdDrive drive;
  errno = 0;
  const bool opened = drive.Open(u'F');
  EXPECT_EQ(opened, c.expected_errno == 0);
  EXPECT_EQ(drive.IsOpen(), opened);
  if (opened) {
    EXPECT_EQ(drive.letter(), u'F');
    drive.Close();
    drive.Close();
    EXPECT_FALSE(drive.IsOpen());
  } else {
    EXPECT_EQ(errno, c.expected_errno);
    EXPECT_EQ(DriveOpenFailureMessage(errno, drive.open_detail()), std::u16string(c.message));
    EXPECT_EQ(drive.letter(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Drives, OpenByLetter,
    ::testing::Values(
        OpenCase{"image", [](ImageFolder& f) { return f.MakePreset("tiny", "", u'G'); }, 0, u""},
        OpenCase{"missing_image", [](ImageFolder& f) { return (f.dir() / "gone.cue").string(); }, ENOENT,
                 u"Cannot access CD drive: No such file or directory."},
        OpenCase{"not_a_cue",
                 [](ImageFolder& f) {
                   const std::string bin = f.MakePreset("tiny", "", u'G');
                   return std::filesystem::path(bin).replace_extension(".bin").string();
                 },
                 ENOTBLK, u"Cannot access CD drive: Block device required."},
        OpenCase{"character_device", [](ImageFolder&) { return std::string("/dev/null"); }, ENOTBLK,
                 u"Cannot access CD drive: Block device required."},
        OpenCase{"broken_sheet",
                 [](ImageFolder& f) {
                   std::filesystem::create_directories(f.dir());
                   std::ofstream(f.dir() / "bad.cue") << "TRACK 01 AUDIO\n";
                   return (f.dir() / "bad.cue").string();
                 },
                 EINVAL, u"Cannot access CD drive: bad.cue line 1: TRACK before FILE."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CdDrive, LettersWithoutAValueNameTheCdDevices) {
  ImageFolder folder;
  EXPECT_EQ(DrivePath(u'D'), "/dev/sr0");
  EXPECT_EQ(DrivePath(u'E'), "/dev/sr1");
  EXPECT_EQ(DrivePath(u'C'), "");
  folder.Map(u'E', "/images/x.cue");
  EXPECT_EQ(DrivePath(u'E'), "/images/x.cue");
  EXPECT_EQ(DrivePath(u'e'), "/images/x.cue");
  EXPECT_EQ(DrivePath(u'D'), "/dev/sr0");
  CdDrive drive;
  EXPECT_FALSE(drive.Open(u'C'));
  EXPECT_EQ(errno, ENODEV);
  uint8_t out[36];
  EXPECT_EQ(drive.Inquiry(out), -1);  // a closed drive sends nothing
}

}  // namespace
}  // namespace tonvik::cdrom
