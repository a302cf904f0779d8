// The range coder of the bit stream and the adaptive residual code on top of
// it (file version 3990). Bytes come out in stream order; the frame writer
// word-swaps them on the way to the file.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tonvik::monkey {

// A growable byte buffer with a cheap append.
class ByteSink {
 public:
  void Clear() { size_ = 0; }
  size_t size() const { return size_; }
  const uint8_t* data() const { return bytes_.data(); }
  void Put(uint8_t b) {
    if (size_ == bytes_.size()) bytes_.resize(bytes_.empty() ? 65536 : bytes_.size() * 2);
    bytes_[size_++] = b;
  }
  void PutBigEndian32(uint32_t v) {
    Put(static_cast<uint8_t>(v >> 24));
    Put(static_cast<uint8_t>(v >> 16));
    Put(static_cast<uint8_t>(v >> 8));
    Put(static_cast<uint8_t>(v));
  }
  // Drops the first n bytes, keeping the rest.
  void Consume(size_t n) {
    std::memmove(bytes_.data(), bytes_.data() + n, size_ - n);
    size_ -= n;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t size_ = 0;
};

// Carry-propagating range coder with a 31-bit window: bit 31 of low_ is a
// pending carry, buffer_ the byte waiting for it, pending_ the run of 0xFF
// bytes a carry would turn into zeros.
class RangeEncoder {
 public:
  explicit RangeEncoder(ByteSink* out) : out_(out) {}

  void Reset() {
    low_ = 0;
    range_ = kTop;
    buffer_ = 0;
    pending_ = 0;
  }

  // A symbol of a model with total frequency 2^16.
  void EncodeSymbol(uint32_t start, uint32_t width) {
    Normalize();
    const uint32_t r = range_ >> 16;
    low_ += r * start;
    range_ = r * width;
  }
  // A value 0..total-1, every value equally likely.
  void EncodeUniform(uint32_t value, uint32_t total) {
    Normalize();
    range_ /= total;
    low_ += range_ * value;
  }
  void EncodeDirect16(uint32_t value) {
    Normalize();
    range_ >>= 16;
    low_ += range_ * value;
  }

  // Flushes the state; a decoder reading four bytes ahead stops exactly at
  // the end of what this writes.
  void Finish() {
    Normalize();
    const uint32_t last = (low_ >> kShift) + 1;
    if (last > 0xFF) {
      Emit(buffer_ + 1, 0x00);
    } else {
      Emit(buffer_, 0xFF);
    }
    out_->Put(static_cast<uint8_t>(last));
    out_->Put(0);
    out_->Put(0);
    out_->Put(0);
  }

 private:
  static constexpr uint32_t kTop = 1u << 31;
  static constexpr int kShift = 23;
  static constexpr uint32_t kBottom = 1u << kShift;

  void Emit(uint32_t byte, uint8_t fill) {
    out_->Put(static_cast<uint8_t>(byte));
    for (; pending_; --pending_) out_->Put(fill);
  }

  void Normalize() {
    if (range_ <= kBottom) Shift();
  }

  // Moves out bytes until the range is wide again.
  [[gnu::noinline]] void Shift() {
    while (range_ <= kBottom) {
      if (low_ < (0xFFu << kShift)) {
        Emit(buffer_, 0xFF);
        buffer_ = (low_ >> kShift) & 0xFF;
      } else if (low_ & kTop) {
        Emit(buffer_ + 1, 0x00);
        buffer_ = (low_ >> kShift) & 0xFF;
      } else {
        ++pending_;
      }
      low_ = (low_ << 8) & (kTop - 1);
      range_ <<= 8;
    }
  }

  ByteSink* out_;
  uint32_t low_ = 0, range_ = kTop, buffer_ = 0, pending_ = 0;
};

// Cumulative frequencies of the quotient symbols 0..63 (and the total).
inline constexpr uint32_t kQuotientStart[65] = {
    0,     19578, 36160, 48417, 56323, 60899, 63265, 64435, 64971, 65232, 65351,
    65416, 65447, 65466, 65476, 65482, 65485, 65488, 65490, 65491, 65492, 65493,
    65494, 65495, 65496, 65497, 65498, 65499, 65500, 65501, 65502, 65503, 65504,
    65505, 65506, 65507, 65508, 65509, 65510, 65511, 65512, 65513, 65514, 65515,
    65516, 65517, 65518, 65519, 65520, 65521, 65522, 65523, 65524, 65525, 65526,
    65527, 65528, 65529, 65530, 65531, 65532, 65533, 65534, 65535, 65536};

// Positive r to odd codes, the rest to even ones: 1, -1, 2 -> 1, 2, 3.
inline uint32_t FoldResidual(int32_t r) {
  const uint32_t twice = static_cast<uint32_t>(r) << 1;
  return r > 0 ? twice - 1 : 0u - twice;
}

// Codes one residual with a channel's running magnitude sum (16384 at the
// start of every frame). The sum picks a divisor; the quotient goes through
// the fixed model, the remainder is uniform below the divisor.
inline void EncodeResidual(RangeEncoder& rc, uint32_t& ksum, int32_t residual) {
  const uint32_t u = FoldResidual(residual);
  const uint32_t divisor = ksum >= 64 ? ksum >> 5 : 1;
  ksum += ((u + 1) >> 1) - ((ksum + 16) >> 5);
  const uint32_t quotient = u / divisor;
  const uint32_t rest = u - quotient * divisor;
  if (quotient < 63) {
    rc.EncodeSymbol(kQuotientStart[quotient], kQuotientStart[quotient + 1] - kQuotientStart[quotient]);
  } else {
    rc.EncodeSymbol(kQuotientStart[63], 1);
    rc.EncodeDirect16(quotient >> 16);
    rc.EncodeDirect16(quotient & 0xFFFF);
  }
  if (divisor < 65536) {
    rc.EncodeUniform(rest, divisor);
  } else {
    const int split = 16 - __builtin_clz(divisor);  // bit length minus 16
    rc.EncodeUniform(rest >> split, (divisor >> split) + 1);
    rc.EncodeUniform(rest & ((1u << split) - 1), 1u << split);
  }
}

}  // namespace tonvik::monkey
