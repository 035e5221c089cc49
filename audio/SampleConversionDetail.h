#pragma once

// The conversion loops shared by the public functions and by the reader,
// which runs them straight into a record (no zero-filled working arrays, no
// second copy): the same arithmetic, so the same samples.

#include <cstddef>
#include <cstdint>

namespace conversion {

// Decodes the first `frames` whole frames into first/second (second only
// when `stereo`). The format must already be checked.
template <typename Out>
void DecodeInto(const uint8_t* bytes, size_t frames, bool stereo, int bitsPerSample, int sourceKind,
                Out* first, Out* second);

// Output length of a conversion of n frames from sourceRate.
size_t ResampledLength(size_t n, uint32_t sourceRate);

// Runs the fixed-point resampler over n >= 4 input frames and writes the
// first `limit` outputs (limit <= ResampledLength) to outFirst and, when
// outSecond is not null, outSecond. Outputs after the last input position
// are written as 0.
template <typename In, typename Out>
void ResampleInto(const In* first, const In* second, size_t n, uint32_t sourceRate, Out* outFirst,
                  Out* outSecond, size_t limit);

}  // namespace conversion
