// A CUE sheet from the input beside a small BIN, opened by the disc-image
// drive and checked as the ripper checks a disc: refused with a reason, or
// a drive whose TOC is sound.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/image_transport.h"
#include "core/app_exception.h"

namespace {

// Removed when the fuzzer exits.
std::string g_folder;
void RemoveFolder() {
  std::error_code ec;
  std::filesystem::remove_all(g_folder, ec);
}

const std::string& Folder() {
  static const std::string folder = [] {
    char tmpl[] = "/tmp/tonvik-fuzz-cue-XXXXXX";
    const std::string made = mkdtemp(tmpl);
    g_folder = made;
    std::atexit(RemoveFolder);
    std::ofstream(made + "/disc.bin", std::ios::binary) << std::string(2352 * 40, '\x11');
    std::ofstream(made + "/other.bin", std::ios::binary) << std::string(2352 * 3, '\x22');
    return made;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string cue = Folder() + "/disc.cue";
  std::ofstream(cue, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                               std::streamsize(size));
  std::string error;
  auto transport = tonvik::cdrom::ImageTransport::Open(cue, &error);
  if (!transport) {
    if (error.empty()) std::abort();
    return 0;
  }
  tonvik::cdrom::CdDrive drive(std::move(transport));
  std::vector<uint8_t> toc;
  try {
    toc = tonvik::cdrom::CheckMedium(drive);
  } catch (const tonvik::AppException&) {
    return 0;
  }
  if (!tonvik::cdrom::IsSoundToc(toc)) std::abort();
  return 0;
}
