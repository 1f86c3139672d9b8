#pragma once
// Pieces shared by the files of the JPEG reader and writer.

#include <cmath>
#include <cstdint>
#include <limits>

#include "imaging/io/progress.h"
#include "imaging/model/bitmap.h"

class TStream;
class TIOParamsVals;

// Sets a bitmap's row access for a scope: rows written by a codec need not be read from a
// file-backed bitmap's file first, rows read need not be written back.
class TRowAccessScope {
 public:
  TRowAccessScope(TVLBitmap& Bitmap, TVLRowAccess Access)
      : FBitmap(Bitmap), FSaved(Bitmap.RowAccess) {
    Bitmap.RowAccess = Access;
  }
  ~TRowAccessScope() { FBitmap.RowAccess = FSaved; }
  TRowAccessScope(const TRowAccessScope&) = delete;
  TRowAccessScope& operator=(const TRowAccessScope&) = delete;

 private:
  TVLBitmap& FBitmap;
  TVLRowAccess FSaved;
};

// Points Progress at a flag of its own for the scope when the caller gave none, so the codec
// can always test and set it.
class TAbortFlagScope {
 public:
  explicit TAbortFlagScope(TVLProgressState& Progress) : FProgress(Progress) {
    if (Progress.AbortFlag == nullptr) Progress.AbortFlag = &FOwn;
  }
  ~TAbortFlagScope() {
    if (FProgress.AbortFlag == &FOwn) FProgress.AbortFlag = nullptr;
  }
  TAbortFlagScope(const TAbortFlagScope&) = delete;
  TAbortFlagScope& operator=(const TAbortFlagScope&) = delete;

 private:
  TVLProgressState& FProgress;
  bool FOwn = false;
};

// trunc(Value) kept within the 32-bit range; NaN gives 0.
inline int32_t TruncSaturated(double Value) {
  if (std::isnan(Value)) return 0;
  if (Value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (Value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return int32_t(Value);
}

// The reader without the EXIF-thumbnail step (see DecodeJpeg).
void DecodeJpegImage(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap, bool InvertCMYK,
                     bool ReadMetadata, bool KeepYCbCr, bool ParamsOnly,
                     TVLProgressState& Progress, TIOParamsVals& Params);

// The writer for a non-empty vl24RGB bitmap.
void EncodeJpegImage(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                     TVLProgressState& Progress);
