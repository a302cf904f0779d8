// PNG resources: decoded, or refused with ImageDecodeError.
#include <cstdint>

#include "widgets/png_image_base.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tonvik::PNGImageBase image;
  try {
    image.Decode(data, size);
  } catch (const tonvik::ImageDecodeError&) {
  }
  return 0;
}
