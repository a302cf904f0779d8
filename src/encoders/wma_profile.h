// The one-stream audio profile of a WMA file, built from the runtime's codec
// formats: a constant-bit-rate format near a custom bit rate, or the quality
// format nearest above a target quality.
#pragma once
#include <cstdint>

#include "encoders/wma_binding.h"

namespace tonvik {

// The format within 249 bit/s of the bit rate (bit/s), of the stream's rate
// and channels, with the largest block align (the later of equals). Throws
// "wma profile creation error #1" ... "#13" per failed step, "wma codec is
// improperly installed, please reinstall" when no format qualifies.
ComPtr<IWMProfile> BuildCbrProfile(const WmaFunctions& wm, const WAVEFORMATEX& stream, int32_t bit_rate);

// The quality format at the target (0.1 Low, 0.5 Normal, 0.74 High) or the
// next above it; the first of equals. Throws "wma profile creation error
// #14" ... "#26" per failed step, and the same as above when none qualifies.
ComPtr<IWMProfile> BuildVbrProfile(const WmaFunctions& wm, const WAVEFORMATEX& stream, float target);

// How far a quality format lies above the target quality: the quality minus
// target × 100, truncated; below the target it wraps to 100 minus the gap.
int QualityDistance(uint32_t bytes_per_second, float target);

}  // namespace tonvik
