#include "cdrom/cd_drive.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "cdrom/image_transport.h"
#include "cdrom/sg_transport.h"
#include "core/app_exception.h"
#include "platform/registry.h"
#include "platform/syserror.h"
#include "platform/text.h"

namespace tonvik::cdrom {
namespace {

constexpr char16_t kDrivesKey[] = u"Software\\Quellbrook\\vandral\\Drives";
constexpr auto kRetrySpacing = std::chrono::milliseconds(333);
// The eject steps give up waiting for a busy drive after this long in all.
constexpr auto kEjectBound = std::chrono::seconds(30);

}  // namespace

SenseCode PackSense(bool call_succeeded, const uint8_t sense[18]) {
  if (!call_succeeded) return -1;
  if ((sense[0] & 0x70) == 0) return 0;
  const SenseCode code = (sense[2] & 0x0F) << 16 | sense[12] << 8 | sense[13];
  return code == 0 ? -1 : code;
}

std::optional<std::string> MappedDrivePath(char16_t letter) {
  if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - u'a' + u'A');
  auto key = reg::Key::Open(reg::Root::CurrentUser, kDrivesKey);
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!key || !key->Query(std::u16string(1, letter), &type, &data) || type != reg::kSz) return std::nullopt;
  std::u16string value;
  for (size_t i = 0; i + 1 < data.size(); i += 2) value.push_back(char16_t(data[i] | data[i + 1] << 8));
  while (!value.empty() && value.back() == 0) value.pop_back();
  return ToUtf8(value);
}

std::string DefaultDrivePath(char16_t letter) {
  if (letter >= u'a' && letter <= u'z') letter = char16_t(letter - u'a' + u'A');
  if (letter < u'D' || letter > u'Z') return {};
  return "/dev/sr" + std::to_string(letter - u'D');
}

std::string DrivePath(char16_t letter) {
  if (auto mapped = MappedDrivePath(letter)) return *mapped;
  return DefaultDrivePath(letter);
}

bool IsCueSheetPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".cue";
}

// A block device the cdrom driver serves. Opened only after stat said it is a
// block device, so nothing else is touched.
bool IsCdDevice(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool cd = ::ioctl(fd, CDROM_GET_CAPABILITY, 0) >= 0;
  ::close(fd);
  return cd;
}

namespace {
class SystemClock : public WaitClock {
 public:
  std::chrono::steady_clock::time_point Now() override { return std::chrono::steady_clock::now(); }
  void SleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};
}  // namespace

CdDrive::CdDrive() : clock_(std::make_shared<SystemClock>()) {}
CdDrive::CdDrive(std::unique_ptr<ScsiTransport> transport)
    : transport_(std::move(transport)), clock_(std::make_shared<SystemClock>()) {}
CdDrive::~CdDrive() { Close(); }

bool CdDrive::Open(char16_t letter) {
  Close();
  open_detail_.clear();
  const std::string path = DrivePath(letter);
  if (path.empty()) {
    errno = ENODEV;
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;  // errno from stat: ENOENT, EACCES, ...
  if (S_ISBLK(st.st_mode)) {
    if (!IsCdDevice(path)) {
      errno = ENODEV;
      return false;
    }
    auto sg = SgTransport::Open(path);
    if (!sg) return false;
    transport_ = std::move(sg);
  } else if (S_ISREG(st.st_mode) && IsCueSheetPath(path)) {
    if (::access(path.c_str(), R_OK) != 0) return false;
    auto image = ImageTransport::Open(path, &open_detail_);
    if (!image) {
      errno = EINVAL;  // the sheet (or a file it names) cannot be used; open_detail() says why
      return false;
    }
    transport_ = std::move(image);
  } else {
    errno = ENOTBLK;
    return false;
  }
  letter_ = letter;
  return true;
}

void CdDrive::Close() { transport_.reset(); }

void CdDrive::Prepare(std::initializer_list<uint8_t> cdb, uint32_t timeout) {
  std::memset(&request_, 0, sizeof request_);
  request_.direction = kDirectionNone;
  request_.timeout = timeout;
  request_.cdb_length = uint8_t(cdb.size());
  std::copy(cdb.begin(), cdb.end(), request_.cdb);
}

SenseCode CdDrive::Execute(int direction, void* buffer, uint32_t length) {
  request_.direction = direction;
  request_.length = length;
  if (!transport_) {
    errno = EBADF;
    return -1;
  }
  const bool ok = transport_->Execute(request_.cdb, request_.cdb_length, direction, buffer, length,
                                      request_.timeout, request_.sense);
  return PackSense(ok, request_.sense);
}

SenseCode CdDrive::Inquiry(uint8_t out[36]) {
  Prepare({0x12, 0, 0, 0, 0x24, 0});
  return Execute(kDirectionIn, out, 36);
}

SenseCode CdDrive::GetConfiguration(uint8_t out[8]) {
  Prepare({0x46, 0x01, 0, 0, 0, 0, 0, 0, 0x08, 0});
  return Execute(kDirectionIn, out, 8);
}

SenseCode CdDrive::ReadDiscInformation(uint8_t out[32]) {
  Prepare({0x51, 0, 0, 0, 0, 0, 0, 0, 0x20, 0});
  return Execute(kDirectionIn, out, 32);
}

SenseCode CdDrive::ReadTocHeader(uint8_t out[12]) {
  Prepare({0x43, 0, 0, 0, 0, 0, 0x01, 0, 0x0C, 0}, 120);
  return Execute(kDirectionIn, out, 12);
}

SenseCode CdDrive::ReadToc(uint8_t first_track, void* out, uint16_t allocation) {
  Prepare({0x43, 0, 0, 0, 0, 0, first_track, uint8_t(allocation >> 8), uint8_t(allocation), 0}, 120);
  return Execute(kDirectionIn, out, allocation);
}

SenseCode CdDrive::ReadCd(int32_t lba, uint8_t count, void* out) {
  Prepare({0xBE, 0, 0, uint8_t(lba >> 16), uint8_t(lba >> 8), uint8_t(lba), 0, 0, count, 0xF8, 0, 0});
  return Execute(kDirectionIn, out, uint32_t(count) * 2352);
}

SenseCode CdDrive::ReadCdWithQ(int32_t lba, uint8_t count, void* out) {
  Prepare({0xBE, 0, 0, uint8_t(lba >> 16), uint8_t(lba >> 8), uint8_t(lba), 0, 0, count, 0xF8, 0x02, 0});
  return Execute(kDirectionIn, out, uint32_t(count) * (2352 + 16));
}

SenseCode CdDrive::ReadSubChannel(uint8_t format, uint8_t track, uint8_t out[24]) {
  Prepare({0x42, 0, 0x40, format, 0, 0, track, 0, 24, 0});
  return Execute(kDirectionIn, out, 24);
}

SenseCode CdDrive::ReadCdText(void* out, uint16_t allocation) {
  Prepare({0x43, 0, 0x05, 0, 0, 0, 0, uint8_t(allocation >> 8), uint8_t(allocation), 0}, 120);
  return Execute(kDirectionIn, out, allocation);
}

SenseCode CdDrive::RepeatWhileBusy(std::initializer_list<uint8_t> cdb,
                                   std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    Prepare(cdb);
    const SenseCode code = Execute(kDirectionNone, nullptr, 0);
    if (code != kSenseInProgress || clock_->Now() + kRetrySpacing > deadline) return code;
    clock_->SleepFor(kRetrySpacing);
  }
}

SenseCode CdDrive::Eject() {
  const auto deadline = clock_->Now() + kEjectBound;
  RepeatWhileBusy({0x1B, 0x01, 0, 0, 0x00, 0}, deadline);  // stop, immediate
  Prepare({0x1E, 0, 0, 0, 0, 0});                          // allow removal
  Execute(kDirectionNone, nullptr, 0);
  RepeatWhileBusy({0x1B, 0x01, 0, 0, 0x02, 0}, deadline);  // eject, immediate
  Prepare({0x1B, 0, 0, 0, 0x02, 0});                       // eject, returns when the tray is open
  return Execute(kDirectionNone, nullptr, 0);
}

std::u16string DriveOpenFailureMessage(int err, const std::string& detail) {
  if (!detail.empty()) return FormatMessage(u"Cannot access CD drive: %1%.", {FromUtf8(detail)});
  return FormatMessage(u"Cannot access CD drive: %1%.", {SystemErrorText(err)});
}

}  // namespace tonvik::cdrom
