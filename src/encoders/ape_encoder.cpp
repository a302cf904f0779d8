#include "encoders/ape_encoder.h"

#include <algorithm>
#include <limits>
#include <new>

#include "core/app_exception.h"
#include "encoders/format_table.h"
#include "encoders/selection.h"

namespace tonvik {

int CAPEEncoder::MyIO::Read(void* buffer, unsigned bytes, unsigned* bytes_read) {
  size_t got = 0;
  const bool ok = file_.Read(buffer, bytes, &got);
  if (bytes_read) *bytes_read = static_cast<unsigned>(got);
  return ok ? 0 : monkey::ERROR_IO_READ;
}

int CAPEEncoder::MyIO::Write(const void* buffer, unsigned bytes, unsigned* bytes_written) {
  const bool ok = file_.Write(buffer, bytes);
  if (bytes_written) *bytes_written = ok ? bytes : 0;
  return ok ? 0 : monkey::ERROR_IO_WRITE;
}

int CAPEEncoder::MyIO::Seek(int64_t distance, monkey::SeekMethod method) {
  int64_t base = 0;
  if (method == monkey::FILE_CURRENT) base = static_cast<int64_t>(file_.Tell());
  if (method == monkey::FILE_END) base = file_.Size();
  if (base < 0 || base + distance < 0) return monkey::ERROR_IO_READ;
  return file_.Seek(static_cast<uint64_t>(base + distance)) ? 0 : monkey::ERROR_IO_READ;
}

CAPEEncoder::CAPEEncoder(const EncoderTarget& target) : io_(std::make_unique<MyIO>(target)), selection_(target.format) {
  compressor_.reset(new (std::nothrow) monkey::CAPECompress());
  if (!compressor_) throw EncoderException("monkey audio initialization error");
}

CAPEEncoder::~CAPEEncoder() {
  compressor_.reset();
  io_.reset();  // an unfinished file goes with it
}

void CAPEEncoder::Start() {
  const monkey::WaveFormat format = monkey::MakeWaveFormat(
      static_cast<uint32_t>(sample_rate), static_cast<uint16_t>(bits_per_sample), static_cast<uint16_t>(channels));
  const int level = SelectedValue(GetFormat(Format::Ape), selection_);
  // The length is not known up front; the library gives the file its exact
  // seek table when it finishes.
  if (compressor_->Start(io_.get(), &format, monkey::MAX_AUDIO_BYTES_UNKNOWN, level, nullptr,
                         monkey::CREATE_WAV_HEADER_ON_DECOMPRESSION) != 0) {
    throw EncoderException("monkey audio initialization error");
  }
  not_started_ = false;
}

void CAPEEncoder::Write(const void* data, uint32_t bytes, uint32_t* taken) {
  if (not_started_) Start();
  if (!compressor_) throw EncoderException("data processing error");
  const auto* p = static_cast<const unsigned char*>(data);
  while (bytes > 0) {
    const int n = static_cast<int>(std::min<uint32_t>(bytes, std::numeric_limits<int>::max() / 2));
    const int result = compressor_->AddData(p, n);
    if (result != 0) throw EncoderException("data processing error");
    p += n;
    bytes -= static_cast<uint32_t>(n);
  }
  if (taken) *taken = static_cast<uint32_t>(p - static_cast<const unsigned char*>(data));
}

void CAPEEncoder::Finish() {
  // A track without audio cannot be a Monkey's Audio file: fail it rather
  // than leave a file no decoder opens.
  if (not_started_) throw EncoderException("no audio to encode");
  if (!compressor_) throw EncoderException("write error");
  const int result = compressor_->Finish(nullptr, 0, 0);
  compressor_.reset();
  if (result == monkey::ERROR_NO_AUDIO) throw EncoderException("no audio to encode");
  if (result != 0) throw EncoderException("write error");
  if (tags && tags->WriteAPETag(*io_) != 0) throw EncoderException("write error");
  io_->file().Commit();
}

}  // namespace tonvik
