#pragma once
// Channel-generic resampling kernels shared by the colour, 1-bit and gray resamplers. Rows
// come in through a getter (so file-backed sources are read one row at a time) and go out
// through a setter.

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/view/resample.h"

namespace vlresample {

// Returns source row Y (0-based inside the rectangle) as Width x Channels bytes; the pointer
// stays valid until the next call.
using TRowGet = std::function<const uint8_t*(int32_t Y)>;
// Receives destination row Y as Width x Channels bytes.
using TRowPut = std::function<void(int32_t Y, const uint8_t* Row)>;

struct TPlane {
  int32_t Width = 0, Height = 0, Channels = 3;
  // The row getter may be called from two threads at once (rows of a bitmap in memory).
  bool ConcurrentRows = false;
};

// Scalar is the plain byte-at-a-time code the vector paths are checked against.
enum class TLinearPath { Fast, Scalar };

// FastLinear; with AlwaysInterpolate both passes interpolate whatever the scale.
void FastLinear(TPlane Src, TPlane Dst, const TRowGet& Get, const TRowPut& Put,
                const TVLResampleProgress& Progress, bool AlwaysInterpolate = false,
                TLinearPath Path = TLinearPath::Fast);
// The convolution resampler for filters rfTriangle .. rfLinear.
void Convolve(TPlane Src, TPlane Dst, TResampleFilter Filter, const TRowGet& Get,
              const TRowPut& Put, const TVLResampleProgress& Progress);
// The area resampler (rfBilinear, rfBicubic).
void AreaResample(TPlane Src, TPlane Dst, bool Bicubic, const TRowGet& Get, const TRowPut& Put,
                  const TVLResampleProgress& Progress);
// Projection to black and white. Dark (Light) is true where every channel is below (above)
// 128; Out receives one 0/1 byte per destination pixel (1 = white).
void Project(TPlane Src, TPlane Dst, bool BlackWins, const TRowGet& Get, const TRowPut& Put);

}  // namespace vlresample
