#include "encoders/encoder.h"

#include "core/app_exception.h"
#include "encoders/format_table.h"
#include "encoders/selection.h"

namespace tonvik {

CEncoder::~CEncoder() = default;

EncoderSelection& Selection() {
  static EncoderSelection selection;
  return selection;
}

std::unique_ptr<CEncoder> CreateEncoder(const std::u16string& path,
                                        std::shared_ptr<CTagData> tags) {
  const FormatInfo* format = FindFormat(Selection().format_number);
  if (!format || !format->factory) throw EncoderException("encoder not available");
  std::unique_ptr<CEncoder> encoder = format->factory(path);
  encoder->sample_rate = 44100;
  encoder->channels = 2;
  encoder->bits_per_sample = 16;
  if (format->takes_tags) encoder->tags = std::move(tags);
  return encoder;
}

std::u16string GetTargetExtension() {
  const FormatInfo* format = FindFormat(Selection().format_number);
  if (!format) throw EncoderException("unknown target format");
  return format->extension;
}

}  // namespace tonvik
