// Per-channel prediction of the encoder: a fixed first-order filter, an
// adaptive offset predictor over the channel's own past and a side input,
// then the level's cascade of NN filters. The output is the residual that
// goes to the entropy coder.
#pragma once
#include <cstdint>
#include <memory>

#include "monkey/nn_filter.h"

namespace tonvik::monkey {

class Predictor {
 public:
  explicit Predictor(int compression_level);

  void Reset();  // at every frame start

  // own: this channel's value; side: the other channel's contribution (0
  // for mono and pseudo-stereo frames).
  int32_t Compress(int32_t own, int32_t side) {
    // Stage 1: v - 31/32 of the previous v.
    const int32_t s = own - ((last_own_ * 31) >> 5);
    const int32_t c = side - ((last_side_ * 31) >> 5);
    last_own_ = own;
    last_side_ = side;

    // Stage 2: sign-sign adaptive offset predictor. Sums wrap at 32 bits.
    const int32_t a[4] = {s_[0], s_[0] - s_[1], s_[1] - s_[2], s_[2] - s_[3]};
    const int32_t b[5] = {c, c - c_[0], c_[0] - c_[1], c_[1] - c_[2], c_[2] - c_[3]};
    const uint32_t pa = U(ma_[0]) * U(a[0]) + U(ma_[1]) * U(a[1]) + U(ma_[2]) * U(a[2]) +
                        U(ma_[3]) * U(a[3]);
    const uint32_t pb = U(mb_[0]) * U(b[0]) + U(mb_[1]) * U(b[1]) + U(mb_[2]) * U(b[2]) +
                        U(mb_[3]) * U(b[3]) + U(mb_[4]) * U(b[4]);
    const uint32_t sum = pa + U(static_cast<int32_t>(pb) >> 1);
    int32_t out = s - (static_cast<int32_t>(sum) >> 10);
    const int32_t direction = Sign(out);
    for (int k = 0; k < 4; ++k) ma_[k] += direction * Sign(a[k]);
    for (int k = 0; k < 5; ++k) mb_[k] += direction * Sign(b[k]);
    s_[3] = s_[2];
    s_[2] = s_[1];
    s_[1] = s_[0];
    s_[0] = s;
    c_[3] = c_[2];
    c_[2] = c_[1];
    c_[1] = c_[0];
    c_[0] = c;

    // Stage 3.
    if (nn_[0]) {
      out = nn_[0]->Compress(out);
      if (nn_[1]) out = nn_[1]->Compress(out);
    }
    return out;
  }

 private:
  static int32_t Sign(int32_t v) { return (v > 0) - (v < 0); }
  static uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }

  int32_t last_own_ = 0, last_side_ = 0;
  int32_t s_[4] = {};  // stage-1 outputs of own, newest first
  int32_t c_[4] = {};  // stage-1 outputs of side, newest first
  int32_t ma_[4] = {};
  int32_t mb_[5] = {};
  std::unique_ptr<NNFilter> nn_[2];
};

}  // namespace tonvik::monkey
