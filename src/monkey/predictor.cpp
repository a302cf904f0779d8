#include "monkey/predictor.h"

namespace tonvik::monkey {

Predictor::Predictor(int compression_level) {
  switch (compression_level) {
    case 2000:
      nn_[0] = std::make_unique<NNFilter>(16, 11);
      break;
    case 3000:
      nn_[0] = std::make_unique<NNFilter>(64, 11);
      break;
    case 4000:
      nn_[0] = std::make_unique<NNFilter>(256, 13);
      nn_[1] = std::make_unique<NNFilter>(32, 10);
      break;
    default:
      break;
  }
  Reset();
}

void Predictor::Reset() {
  last_own_ = last_side_ = 0;
  for (auto& v : s_) v = 0;
  for (auto& v : c_) v = 0;
  ma_[0] = 360;
  ma_[1] = 317;
  ma_[2] = -109;
  ma_[3] = 98;
  for (auto& v : mb_) v = 0;
  for (auto& f : nn_) {
    if (f) f->Reset();
  }
}

}  // namespace tonvik::monkey
