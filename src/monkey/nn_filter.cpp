#include "monkey/nn_filter.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tonvik::monkey {

// Both kernels wrap: products and sums modulo 2^32, weights modulo 2^16,
// exactly like the vector instructions, so every CPU produces the same bits.
int32_t DotProduct16Plain(const int16_t* weights, const int16_t* input, int order) {
  uint32_t sum = 0;
  for (int i = 0; i < order; ++i) sum += static_cast<uint32_t>(weights[i] * input[i]);
  return static_cast<int32_t>(sum);
}

void Adapt16Plain(int16_t* weights, const int16_t* step, int order, int32_t direction) {
  if (direction > 0) {
    for (int i = 0; i < order; ++i) weights[i] = static_cast<int16_t>(weights[i] - step[i]);
  } else if (direction < 0) {
    for (int i = 0; i < order; ++i) weights[i] = static_cast<int16_t>(weights[i] + step[i]);
  }
}

#if defined(__SSE2__)

// Orders are multiples of 16. pmaddwd's pair sum wraps only for
// (-32768)^2 * 2, which is still right modulo 2^32.
int32_t DotProduct16(const int16_t* weights, const int16_t* input, int order) {
  __m128i a = _mm_setzero_si128(), b = _mm_setzero_si128();
  for (int i = 0; i < order; i += 16) {
    const auto* w = reinterpret_cast<const __m128i*>(weights + i);
    const auto* x = reinterpret_cast<const __m128i*>(input + i);
    a = _mm_add_epi32(a, _mm_madd_epi16(_mm_load_si128(w), _mm_loadu_si128(x)));
    b = _mm_add_epi32(b, _mm_madd_epi16(_mm_load_si128(w + 1), _mm_loadu_si128(x + 1)));
  }
  a = _mm_add_epi32(a, b);
  a = _mm_add_epi32(a, _mm_shuffle_epi32(a, 0x4E));
  a = _mm_add_epi32(a, _mm_shuffle_epi32(a, 0xB1));
  return _mm_cvtsi128_si32(a);
}

void Adapt16(int16_t* weights, const int16_t* step, int order, int32_t direction) {
  if (direction == 0) return;
  auto* w = reinterpret_cast<__m128i*>(weights);
  const auto* s = reinterpret_cast<const __m128i*>(step);
  if (direction > 0) {
    for (int i = 0; i < order / 8; ++i) _mm_store_si128(w + i, _mm_sub_epi16(_mm_load_si128(w + i), _mm_loadu_si128(s + i)));
  } else {
    for (int i = 0; i < order / 8; ++i) _mm_store_si128(w + i, _mm_add_epi16(_mm_load_si128(w + i), _mm_loadu_si128(s + i)));
  }
}

#else

int32_t DotProduct16(const int16_t* weights, const int16_t* input, int order) {
  return DotProduct16Plain(weights, input, order);
}
void Adapt16(int16_t* weights, const int16_t* step, int order, int32_t direction) {
  Adapt16Plain(weights, step, order, direction);
}

#endif

NNFilter::NNFilter(int order, int shift) : order_(order), shift_(shift) {
  // Weights first, 8 spare entries for the alignment.
  storage_.resize(static_cast<size_t>(order) + 8 + 2 * static_cast<size_t>(order + kWindow));
  auto at = reinterpret_cast<uintptr_t>(storage_.data());
  weights_ = storage_.data() + ((16 - at % 16) % 16) / sizeof(int16_t);
  input_ = weights_ + order;
  step_ = input_ + order + kWindow;
  Reset();
}

void NNFilter::Reset() {
  std::fill(storage_.begin(), storage_.end(), 0);
  average_ = 0;
  pos_ = order_;
}

int32_t NNFilter::Compress(int32_t input) {
  const int32_t dot = DotProduct16(weights_, input_ + pos_ - order_, order_);
  const int64_t rounded = (static_cast<int64_t>(dot) + (int64_t{1} << (shift_ - 1))) >> shift_;
  const int32_t output = input - static_cast<int32_t>(rounded);
  Adapt16(weights_, step_ + pos_ - order_, order_, output);

  // The next step: against the input's sign, larger for inputs far above
  // the running mean.
  const int32_t magnitude = input < 0 ? -input : input;
  int16_t step = 0;
  if (magnitude > average_ * 3) {
    step = 32;
  } else if (magnitude > average_ * 4 / 3) {
    step = 16;
  } else if (magnitude > 0) {
    step = 8;
  }
  step_[pos_] = input < 0 ? step : static_cast<int16_t>(-step);
  average_ += (magnitude - average_) / 16;
  step_[pos_ - 1] = static_cast<int16_t>(step_[pos_ - 1] >> 1);
  step_[pos_ - 2] = static_cast<int16_t>(step_[pos_ - 2] >> 1);
  step_[pos_ - 8] = static_cast<int16_t>(step_[pos_ - 8] >> 1);
  input_[pos_] = static_cast<int16_t>(std::clamp(input, -32768, 32767));

  if (++pos_ == order_ + kWindow) {
    std::memmove(input_, input_ + kWindow, order_ * sizeof(int16_t));
    std::memmove(step_, step_ + kWindow, order_ * sizeof(int16_t));
    pos_ = order_;
  }
  return output;
}

}  // namespace tonvik::monkey
