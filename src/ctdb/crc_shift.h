// The linear map "append n zero samples" on zlib CRC-32 values, made once
// for a window length and then applied to any CRC in four table look-ups.
// crc(u, v) of a stream follows from the running CRCs C(u) and C(v) of its
// prefixes: crc(u, v) = C(v) XOR Shift_{v-u}(C(u)).
#pragma once
#include <array>
#include <cstdint>

namespace tonvik::ctdb {

class CrcShift {
 public:
  // Over `samples` stereo samples (4 bytes each); built from zlib's
  // crc32_combine_gen64.
  explicit CrcShift(uint64_t samples = 0);
  uint32_t operator()(uint32_t crc) const {
    return table_[0][crc & 0xff] ^ table_[1][(crc >> 8) & 0xff] ^ table_[2][(crc >> 16) & 0xff] ^
           table_[3][crc >> 24];
  }
  // The CRC of the samples between two running CRCs this many samples apart.
  uint32_t Between(uint32_t crc_before, uint32_t crc_after) const { return crc_after ^ (*this)(crc_before); }

 private:
  std::array<std::array<uint32_t, 256>, 4> table_{};
};

}  // namespace tonvik::ctdb
