// The JPEG reader and writer entry points: the EXIF-thumbnail step of reading and the
// conversion of bitmaps the writer does not take directly.

#include "imaging/codecs/jpeg_codec.h"

#include "imaging/codecs/jpeg/jpeg_internal.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"

void DecodeJpeg(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap,
                bool /*ApplyColorManagement: colour management is never switched on*/,
                bool InvertCMYK, bool ReadMetadata, bool KeepYCbCr, bool ParamsOnly,
                TVLProgressState& Progress, TIOParamsVals& Params) {
  if (Params.JpegThumbnailFromExif) {
    // The header and metadata first: an EXIF thumbnail, when there is one, is the image.
    Params.ExifThumbnail.reset();
    const int64_t start = Stream.Position();
    Params.JpegThumbnailFromExif = false;
    try {
      DecodeJpegImage(Stream, TablesStream, Bitmap, InvertCMYK, true, KeepYCbCr, true, Progress,
                      Params);
    } catch (...) {
      Params.JpegThumbnailFromExif = true;
      throw;
    }
    Params.JpegThumbnailFromExif = true;
    Stream.Seek(start, soBeginning);
    if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty()) {
      Bitmap.Assign(*Params.ExifThumbnail);
      return;
    }
  }
  DecodeJpegImage(Stream, TablesStream, Bitmap, InvertCMYK, ReadMetadata, KeepYCbCr, ParamsOnly,
                  Progress, Params);
}

void EncodeJpeg(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                TVLProgressState& Progress) {
  if (Bitmap.PixelFormat() == vl24RGB || Bitmap.IsEmpty()) {
    EncodeJpegImage(Stream, Bitmap, Params, Progress);
    return;
  }
  // Any other format is written from a vl24RGB copy; the caller's bitmap stays as it is.
  TVLBitmap copy;
  copy.MemoryThreshold = Bitmap.MemoryThreshold;
  copy.Assign(Bitmap);
  copy.DropAlphaLayer();
  copy.SetPixelFormat(vl24RGB);
  EncodeJpegImage(Stream, copy, Params, Progress);
}
