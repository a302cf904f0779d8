// The sign-LMS filter stage of the predictor: an adaptive FIR over the last
// `order` inputs with 16-bit weights, histories and steps.
#pragma once
#include <cstdint>
#include <vector>

namespace tonvik::monkey {

class NNFilter {
 public:
  NNFilter(int order, int shift);
  NNFilter(const NNFilter&) = delete;
  NNFilter& operator=(const NNFilter&) = delete;

  void Reset();
  // Returns the input minus the filter's prediction and adapts.
  int32_t Compress(int32_t input);

  int order() const { return order_; }

 private:
  // Histories are kept in one run so the last `order` entries are always
  // contiguous; every kWindow values the tail moves back to the front.
  static constexpr int kWindow = 512;

  int order_;
  int shift_;
  int32_t average_ = 0;  // running mean of |input|
  int pos_ = 0;          // slot of the next input in input_ and step_
  std::vector<int16_t> storage_;
  int16_t* weights_;     // 16-byte aligned, order_ entries
  int16_t* input_;       // order_ + kWindow entries: inputs clamped to 16 bits
  int16_t* step_;        // order_ + kWindow entries: adaptation steps
};

// The kernels, exposed for the unit test that pins the vector code to the
// plain loops.
int32_t DotProduct16(const int16_t* weights, const int16_t* input, int order);
void Adapt16(int16_t* weights, const int16_t* step, int order, int32_t direction);
int32_t DotProduct16Plain(const int16_t* weights, const int16_t* input, int order);
void Adapt16Plain(int16_t* weights, const int16_t* step, int order, int32_t direction);

}  // namespace tonvik::monkey
