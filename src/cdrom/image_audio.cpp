#include "cdrom/image_audio.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cdrom/image_file_io.h"
#include "cdrom/image_flac.h"
#include "cdrom/image_wav.h"

namespace tonvik::cdrom {
namespace image_io {

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string Describe(unsigned bits, unsigned rate, unsigned channels) {
  const std::string layout = channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + "-channel";
  return std::to_string(bits) + "-bit " + std::to_string(rate) + " Hz " + layout;
}

bool FullRead(int fd, void* out, size_t n, int64_t offset) {
  auto* p = static_cast<uint8_t*>(out);
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, p + done, n - done, off_t(offset + int64_t(done)));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += size_t(got);
  }
  return true;
}

bool RawFile::Read(int64_t offset, uint8_t* out, size_t n) {
  if (offset < 0 || offset + int64_t(n) > bytes_ || !FullRead(fd_, out, n, start_ + offset)) return false;
  if (swap_)
    for (size_t i = 0; i + 1 < n; i += 2) std::swap(out[i], out[i + 1]);
  return true;
}

}  // namespace image_io

std::unique_ptr<ImageFile> ImageFile::Open(int fd, int64_t size, Type type, const std::string& name,
                                           std::string* error) {
  using image_io::FullRead, image_io::OpenFlac, image_io::OpenWav, image_io::Quoted, image_io::RawFile;
  if (type != Wave) return std::make_unique<RawFile>(fd, 0, size, type == Motorola);
  uint8_t magic[12] = {};
  if (size < 12 || !FullRead(fd, magic, sizeof magic, 0)) {
    *error = Quoted(name) + " is neither a WAV nor a FLAC file";
    return nullptr;
  }
  if (std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0) return OpenWav(fd, size, name, error);
  if (std::memcmp(magic, "fLaC", 4) == 0 || std::memcmp(magic, "ID3", 3) == 0) return OpenFlac(fd, name, error);
  *error = Quoted(name) + " is neither a WAV nor a FLAC file";
  return nullptr;
}

}  // namespace tonvik::cdrom
