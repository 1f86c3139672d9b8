#pragma once
// Helpers of the JPEG reader and writer tests: the corpus, reference PNGs read with libpng,
// decoding bytes with the reader, and running the libjpeg-turbo command-line tools.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/codecs/jpeg_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "tests/support/temp_folder.h"

namespace jpegtest {

inline std::string TestData(const std::string& Rel = "") {
  return std::string(VANDREL_TESTDATA_DIR) + "/" + Rel;
}
inline bool HaveTestData() { return std::ifstream(TestData("MANIFEST.tsv")).good(); }

inline std::vector<uint8_t> ReadBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary | std::ios::ate);
  std::vector<uint8_t> bytes(in ? size_t(in.tellg()) : 0);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
  return bytes;
}
inline void WriteBytes(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()),
                                              std::streamsize(Bytes.size()));
}

// An 8-bit RGBA image read with libpng's simplified interface.
struct TRgba {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // r, g, b, a
  const uint8_t* At(int32_t x, int32_t y) const {
    return &Pixels[(size_t(y) * size_t(Width) + size_t(x)) * 4];
  }
};
inline bool ReadPng(const std::string& Path, TRgba& Image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, Path.c_str())) return false;
  png.format = PNG_FORMAT_RGBA;
  Image.Width = int32_t(png.width);
  Image.Height = int32_t(png.height);
  Image.Pixels.resize(PNG_IMAGE_SIZE(png));
  return png_image_finish_read(&png, nullptr, Image.Pixels.data(), 0, nullptr) != 0;
}

// A binary PPM (as djpeg writes it) as an RGBA image.
inline bool ReadPpm(const std::string& Path, TRgba& Image) {
  const std::vector<uint8_t> ppm = ReadBytes(Path);
  std::istringstream head(std::string(ppm.begin(), ppm.begin() + std::min<size_t>(ppm.size(), 32)));
  std::string magic;
  int maxval = 0;
  head >> magic >> Image.Width >> Image.Height >> maxval;
  const size_t count = size_t(Image.Width) * size_t(Image.Height);
  if (magic != "P6" || maxval != 255 || ppm.size() < count * 3) return false;
  const uint8_t* src = ppm.data() + (ppm.size() - count * 3);
  Image.Pixels.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    Image.Pixels[i * 4] = src[i * 3];
    Image.Pixels[i * 4 + 1] = src[i * 3 + 1];
    Image.Pixels[i * 4 + 2] = src[i * 3 + 2];
    Image.Pixels[i * 4 + 3] = 255;
  }
  return true;
}

// The largest channel difference between a vl24RGB bitmap and a reference (rows from
// FirstRow on are skipped); -1 when the sizes differ.
inline int MaxDifference(TVLBitmap& Bitmap, const TRgba& Ref, int32_t Rows = -1) {
  if (Bitmap.Width() != Ref.Width || Bitmap.Height() != Ref.Height) return -1;
  int worst = 0;
  const int32_t rows = Rows < 0 ? Ref.Height : Rows;
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* row = Bitmap.Scanline(y);
    for (int32_t x = 0; x < Ref.Width; ++x) {
      const uint8_t* p = Ref.At(x, y);
      const uint8_t* q = row + size_t(x) * 3;
      for (int c = 0; c < 3; ++c) {
        const int diff = std::abs(int(q[2 - c]) - int(p[c]));
        if (diff > worst) worst = diff;
      }
    }
  }
  return worst;
}

// One read of JPEG bytes with the arguments of a .jpg load (or the ones given).
struct TDecoded {
  TIOParamsVals Params;
  TVLBitmap Bitmap;
  bool Abort = false;
};
struct TDecodeOptions {
  bool ParamsOnly = false;
  bool KeepYCbCr = false;
  bool InvertCMYK = false;
  std::function<void(TIOParamsVals&)> Setup;
};
inline std::unique_ptr<TDecoded> Decode(TStream& Stream, const TDecodeOptions& O = {}) {
  auto d = std::make_unique<TDecoded>();
  if (O.Setup) O.Setup(d->Params);
  TVLProgressState progress;
  progress.AbortFlag = &d->Abort;
  DecodeJpeg(Stream, nullptr, d->Bitmap, true, O.InvertCMYK, true, O.KeepYCbCr, O.ParamsOnly,
             progress, d->Params);
  return d;
}
inline std::unique_ptr<TDecoded> Decode(const std::vector<uint8_t>& Bytes,
                                        const TDecodeOptions& O = {}) {
  TMemoryStream stream(Bytes.data(), Bytes.size());
  return Decode(stream, O);
}

// Encodes Bitmap with Params; the JPEG bytes.
inline std::vector<uint8_t> Encode(TVLBitmap& Bitmap, TIOParamsVals& Params, bool* Abort = nullptr) {
  TMemoryStream out;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  EncodeJpeg(out, Bitmap, Params, progress);
  if (Abort) *Abort = abort;
  return std::vector<uint8_t>(out.Memory(), out.Memory() + out.Length());
}

// Marker segments before the first SOS: (marker byte, offset of the marker).
struct TSegment {
  uint8_t Marker;
  size_t Offset;
  size_t Length;  // data bytes after the length field
};
inline std::vector<TSegment> Segments(const std::vector<uint8_t>& J) {
  std::vector<TSegment> out;
  size_t i = 2;
  while (i + 4 <= J.size() && J[i] == 0xFF) {
    const uint8_t m = J[i + 1];
    const size_t len = (size_t(J[i + 2]) << 8) | J[i + 3];
    out.push_back({m, i, len - 2});
    if (m == 0xDA) break;
    i += 2 + len;
  }
  return out;
}
// The bytes from the first marker that is not an APPn/COM on (everything after the APP
// markers).
inline std::vector<uint8_t> AfterAppMarkers(const std::vector<uint8_t>& J) {
  for (const TSegment& s : Segments(J))
    if (!(s.Marker >= 0xE0 && s.Marker <= 0xEF) && s.Marker != 0xFE)
      return std::vector<uint8_t>(J.begin() + std::ptrdiff_t(s.Offset), J.end());
  return {};
}

// Runs a shell command; true on exit status 0.
inline bool RunCommand(const std::string& Command) { return std::system(Command.c_str()) == 0; }
inline bool HaveTool(const std::string& Name) {
  return RunCommand("command -v " + Name + " >/dev/null 2>&1");
}

// A binary PPM of a vl24RGB bitmap (rows top first, red, green, blue).
inline std::vector<uint8_t> ToPpm(TVLBitmap& Bitmap) {
  std::ostringstream head;
  head << "P6\n" << Bitmap.Width() << " " << Bitmap.Height() << "\n255\n";
  const std::string h = head.str();
  std::vector<uint8_t> out(h.begin(), h.end());
  for (int32_t y = 0; y < Bitmap.Height(); ++y) {
    const uint8_t* row = Bitmap.Scanline(y);
    for (int32_t x = 0; x < Bitmap.Width(); ++x) {
      out.push_back(row[x * 3 + 2]);
      out.push_back(row[x * 3 + 1]);
      out.push_back(row[x * 3]);
    }
  }
  return out;
}

// A photo-like test image: smooth gradients with some texture.
inline void MakePhoto(TVLBitmap& Bitmap, int32_t Width, int32_t Height) {
  Bitmap.Allocate(Width, Height, vl24RGB);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* row = Bitmap.Scanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = int((seed >> 16) & 15) - 8;
      row[x * 3] = uint8_t(std::clamp(x * 255 / std::max(Width, 1) + noise, 0, 255));
      row[x * 3 + 1] = uint8_t(std::clamp(y * 255 / std::max(Height, 1) + noise, 0, 255));
      row[x * 3 + 2] = uint8_t(std::clamp(((x + y) * 3) % 256 + noise, 0, 255));
    }
  }
}

}  // namespace jpegtest
