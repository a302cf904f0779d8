#include "ctdb/crc_shift.h"

#include <zlib.h>

namespace tonvik::ctdb {

CrcShift::CrcShift(uint64_t samples) {
  const uLong op = crc32_combine_gen64(z_off64_t(samples * 4));
  // The map is linear over GF(2): the image of a word is the XOR of the
  // images of its bytes.
  for (int byte = 0; byte < 4; ++byte)
    for (uint32_t value = 0; value < 256; ++value)
      table_[size_t(byte)][value] = uint32_t(crc32_combine_op(uLong(value) << (8 * byte), 0, op));
}

}  // namespace tonvik::ctdb
