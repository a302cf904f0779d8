#include "encoders/encoder.h"

#include "core/app_exception.h"
#include "encoders/format_table.h"

namespace tonvik {

CEncoder::~CEncoder() = default;

std::unique_ptr<CEncoder> CreateEncoder(const EncoderTarget& target, std::shared_ptr<CTagData> tags) {
  const FormatInfo* format = FindFormat(target.format.format_number);
  if (!format || !format->factory) throw EncoderException("encoder not available");
  std::unique_ptr<CEncoder> encoder = format->factory(target);
  encoder->sample_rate = 44100;
  encoder->channels = 2;
  encoder->bits_per_sample = 16;
  if (format->takes_tags) encoder->tags = std::move(tags);
  return encoder;
}

std::u16string GetTargetExtension(int format_number) {
  const FormatInfo* format = FindFormat(format_number);
  if (!format) throw EncoderException("unknown target format");
  return format->extension;
}

}  // namespace tonvik
