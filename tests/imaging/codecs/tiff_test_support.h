#pragma once
// Helpers of the TIFF reader tests: one read of TIFF bytes, and a small builder of crafted
// TIFF files (one or more directories, entries of any type, pixel data placed anywhere).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/tiff_reader.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace tifftest {

using Bytes = std::vector<uint8_t>;

struct TRead {
  TIOParamsVals Params;
  TVLBitmap Bitmap;
  std::unique_ptr<TVLMask> Mask;
  int32_t Pages = -1;
  bool Abort = false;
};

inline std::unique_ptr<TRead> ReadTiff(const Bytes& Data,
                                       const std::function<void(TIOParamsVals&)>& Setup = {},
                                       bool ParamsOnly = false, size_t Base = 0,
                                       bool FileBacked = false) {
  auto r = std::make_unique<TRead>();
  if (Setup) Setup(r->Params);
  if (FileBacked) {
    r->Bitmap.MemoryThreshold = 0;
    r->Bitmap.SetLocation(vlFile);
  }
  TMemoryStream s(Data.data(), Data.size());
  s.Seek(int64_t(Base), soBeginning);
  TVLProgressState p;
  p.AbortFlag = &r->Abort;
  DecodeTiff(r->Bitmap, s, r->Pages, false, false, true, r->Mask, ParamsOnly, p, r->Params);
  return r;
}

// A TIFF file under construction. Entries are added per directory; Build lays out the header,
// the directories (each followed by the values that do not fit in 4 bytes) and then the
// blobs added with Blob, whose offsets are known in advance through BlobOffset.
class TTiffBuilder {
 public:
  explicit TTiffBuilder(bool LittleEndian = true) : FLe(LittleEndian) { FDirs.emplace_back(); }

  struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count;
    Bytes Data;  // count x type size bytes, already in the file's byte order
  };

  TTiffBuilder& Short(uint16_t Tag, std::vector<uint32_t> V) { return Add(Tag, 3, V, 2); }
  TTiffBuilder& Long(uint16_t Tag, std::vector<uint32_t> V) { return Add(Tag, 4, V, 4); }
  TTiffBuilder& Rational(uint16_t Tag, uint32_t Num, uint32_t Den) { return Add(Tag, 5, {Num, Den}, 4, 1); }
  TTiffBuilder& Ascii(uint16_t Tag, const std::string& Text) {
    Bytes b(Text.begin(), Text.end());
    b.push_back(0);
    FDirs.back().push_back({Tag, 2, uint32_t(b.size()), b});
    return *this;
  }
  TTiffBuilder& Raw(uint16_t Tag, uint16_t Type, uint32_t Count, Bytes Data) {
    FDirs.back().push_back({Tag, Type, Count, std::move(Data)});
    return *this;
  }
  TTiffBuilder& NextDirectory() {
    FDirs.emplace_back();
    return *this;
  }
  // Blobs follow the directories; their offsets count from the file's start.
  size_t AddBlob(const Bytes& B) {
    FBlobs.push_back(B);
    return FBlobs.size() - 1;
  }
  uint32_t BlobOffset(size_t Index) const { return uint32_t(kBlobArea + FBlobStart(Index)); }

  // A basic image: size, samples, bits, photometric, one uncompressed strip of Pixels.
  TTiffBuilder& Image(uint32_t W, uint32_t H, uint32_t Spp, uint32_t Bits, uint32_t Photometric,
                      const Bytes& Pixels, uint32_t Compression = 1) {
    const size_t blob = AddBlob(Pixels);
    Long(256, {W}).Long(257, {H}).Short(277, {Spp}).Short(262, {Photometric});
    Short(258, std::vector<uint32_t>(Spp, Bits)).Short(259, {Compression});
    Long(273, {BlobOffset(blob)}).Long(279, {uint32_t(Pixels.size())}).Long(278, {H});
    return *this;
  }

  // Directory I points to directory Next (-1: 0; -2: its own offset).
  TTiffBuilder& Link(size_t I, int Next) {
    FLinks.resize(FDirs.size(), -3);
    FLinks[I] = Next;
    return *this;
  }

  Bytes Build() const {
    Bytes out(8);
    out[0] = out[1] = FLe ? 'I' : 'M';
    Put(out, 2, 42, 2);
    std::vector<uint32_t> dirAt;
    Bytes dirs;
    size_t pos = 8;
    for (const auto& d : FDirs) {
      dirAt.push_back(uint32_t(pos));
      pos += 2 + d.size() * 12 + 4;
      for (const auto& e : d)
        if (e.Data.size() > 4) pos += e.Data.size() + (e.Data.size() & 1);
    }
    Put(out, 4, dirAt[0], 4);
    for (size_t i = 0; i < FDirs.size(); ++i) {
      const auto& d = FDirs[i];
      const size_t start = out.size();
      out.resize(start + 2 + d.size() * 12 + 4);
      Put(out, start, uint32_t(d.size()), 2);
      size_t extra = out.size();
      for (size_t k = 0; k < d.size(); ++k) {
        const auto& e = d[k];
        const size_t at = start + 2 + k * 12;
        Put(out, at, e.Tag, 2);
        Put(out, at + 2, e.Type, 2);
        Put(out, at + 4, e.Count, 4);
        if (e.Data.size() <= 4) {
          std::copy(e.Data.begin(), e.Data.end(), out.begin() + long(at + 8));
        } else {
          Put(out, at + 8, uint32_t(extra), 4);
          out.insert(out.end(), e.Data.begin(), e.Data.end());
          if (e.Data.size() & 1) out.push_back(0);
          extra = out.size();
        }
      }
      int link = i < FLinks.size() ? FLinks[i] : -3;
      uint32_t next = i + 1 < FDirs.size() ? dirAt[i + 1] : 0;
      if (link == -1) next = 0;
      else if (link == -2) next = dirAt[i];
      else if (link >= 0) next = dirAt[size_t(link)];
      Put(out, start + 2 + d.size() * 12, next, 4);
    }
    out.resize(kBlobArea, 0);
    for (const auto& b : FBlobs) out.insert(out.end(), b.begin(), b.end());
    return out;
  }

  static constexpr size_t kBlobArea = 4096;  // directories must fit below this

 private:
  TTiffBuilder& Add(uint16_t Tag, uint16_t Type, const std::vector<uint32_t>& V, int Size,
                    int PerValue = 0) {
    Bytes b(V.size() * size_t(Size));
    for (size_t i = 0; i < V.size(); ++i) Put(b, i * size_t(Size), V[i], Size);
    const uint32_t count = PerValue ? uint32_t(V.size() / 2) : uint32_t(V.size());
    FDirs.back().push_back({Tag, Type, count, b});
    return *this;
  }
  void Put(Bytes& b, size_t at, uint32_t v, int n) const {
    for (int i = 0; i < n; ++i) b[at + size_t(FLe ? i : n - 1 - i)] = uint8_t(v >> (8 * i));
  }
  size_t FBlobStart(size_t Index) const {
    size_t s = 0;
    for (size_t i = 0; i < Index; ++i) s += FBlobs[i].size();
    return s;
  }

  bool FLe;
  std::vector<std::vector<TEntry>> FDirs;
  std::vector<int> FLinks;
  std::vector<Bytes> FBlobs;
};

}  // namespace tifftest
