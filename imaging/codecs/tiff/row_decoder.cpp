// The TIFF row decoder: decompression by compression code, then unpacking, the predictor and
// the bilevel conventions, so that the reader gets rows it can convert directly.

#include "imaging/codecs/tiff/row_decoder.h"

#include <cstring>
#include <vector>

#include "imaging/codecs/tiff/fax_decoder.h"
#include "imaging/codecs/tiff/lzw_decoder.h"
#include "imaging/codecs/tiff/packbits.h"
#include "imaging/io/image_limits.h"

namespace {

constexpr int32_t kNone = 1;
constexpr int32_t kModifiedHuffman = 2;
constexpr int32_t kGroup3 = 3;
constexpr int32_t kGroup4 = 4;
constexpr int32_t kLzw = 5;
constexpr int32_t kPackBits = 32773;
constexpr uint64_t kMaxRowBytes = uint64_t(1) << 30;

bool IsFax(int32_t Compression) {
  return Compression == kModifiedHuffman || Compression == kGroup3 || Compression == kGroup4;
}

const uint8_t* ReversedBitsTable() {
  static const auto table = [] {
    std::vector<uint8_t> t(256);
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= 0x80 >> b;
      t[i] = uint8_t(r);
    }
    return t;
  }();
  return table.data();
}

// Undoes horizontal differencing on 8-bit samples: each sample adds the same sample of the
// pixel before it.
void Undifference8(uint8_t* Row, size_t Samples, size_t Step) {
  for (size_t i = Step; i < Samples; ++i) Row[i] = uint8_t(Row[i] + Row[i - Step]);
}

// The same on 16-bit samples stored in the file's byte order.
void Undifference16(uint8_t* Row, size_t Samples, size_t Step, bool LittleEndian) {
  const size_t hi = LittleEndian ? 1 : 0;
  const size_t lo = 1 - hi;
  for (size_t i = Step; i < Samples; ++i) {
    uint8_t* p = Row + 2 * i;
    const uint8_t* q = Row + 2 * (i - Step);
    const unsigned v = ((unsigned(p[hi]) << 8) | p[lo]) + ((unsigned(q[hi]) << 8) | q[lo]);
    p[hi] = uint8_t(v >> 8);
    p[lo] = uint8_t(v);
  }
}

// Spreads Count samples of Bits bits (packed, most significant first) to one byte each.
void UnpackSamples(const uint8_t* In, uint8_t* Out, size_t Count, int Bits) {
  if (Bits == 4) {
    for (size_t i = 0; i < Count; ++i) Out[i] = (i & 1) ? (In[i / 2] & 0x0F) : (In[i / 2] >> 4);
    return;
  }
  const unsigned mask = (1u << Bits) - 1;
  uint64_t bit = 0;
  for (size_t i = 0; i < Count; ++i, bit += unsigned(Bits)) {
    // A sample of up to 7 bits lies within two bytes.
    const size_t byte = size_t(bit >> 3);
    const unsigned shift = unsigned(bit & 7);
    unsigned pair = unsigned(In[byte]) << 8;
    if (shift + unsigned(Bits) > 8) pair |= In[byte + 1];
    Out[i] = uint8_t((pair >> (16 - shift - unsigned(Bits))) & mask);
  }
}

}  // namespace

bool TiffRowCompressionSupported(int32_t Compression) {
  return (Compression >= kNone && Compression <= kLzw) || Compression == kPackBits;
}

struct TTiffRowDecoder::TState {
  TTiffRowFormat Format;
  bool Valid = false;
  size_t Coded = 0;    // bytes of a stored row
  size_t Decoded = 0;  // bytes of a decoded row
  size_t Samples = 0;  // samples in a row
  bool Fax = false;
  bool Bilevel = false;  // the row stays packed in vl1g form
  bool Unpack = false;   // samples narrower than a byte are spread to bytes
  bool Invert = false;   // bilevel rows are inverted to make 1 white
  bool ReverseBits = false;
  bool BuiltInLzw = false;

  const uint8_t* Data = nullptr;
  size_t Length = 0;
  size_t Pos = 0;

  std::vector<uint8_t> Raw;  // a decompressed stored row
  std::vector<uint8_t> Out;  // the decoded row when it is not Raw itself
  std::unique_ptr<TFaxStripDecoder> FaxDecoder;
  TTiffLzwDecoder Lzw;
  void* LzwState = nullptr;
  bool LzwStarted = false;

  explicit TState(const TTiffRowFormat& F) : Format(F) {
    const int32_t c = F.Compression;
    if (!TiffRowCompressionSupported(c) || F.Width <= 0 || F.Width > kMaxImageSide ||
        F.BitsPerSample <= 0 || F.BitsPerSample > 64 || F.SamplesPerPixel <= 0 ||
        F.SamplesPerPixel > 65535)
      return;
    Samples = size_t(F.Width) * size_t(F.SamplesPerPixel);
    const uint64_t bits = uint64_t(Samples) * uint64_t(F.BitsPerSample);
    if (bits / 8 + 1 > kMaxRowBytes) return;
    Coded = size_t((bits + 7) / 8);
    Fax = IsFax(c);
    Bilevel = Fax || (F.BitsPerSample == 1 && F.SamplesPerPixel == 1 && F.Photometric != 3);
    if (Fax) {
      // The fax codes name white and black; min-is-black files want them the other way.
      Invert = F.Photometric == 1;
      Decoded = (size_t(F.Width) + 7) / 8;
      FaxDecoder = std::make_unique<TFaxStripDecoder>(F.Width, F.FillOrder);
    } else if (Bilevel) {
      // Stored bits: 0 is white in min-is-white files.
      Invert = F.Photometric == 0;
      ReverseBits = F.FillOrder == 2 && (c == kNone || c == kPackBits);
      Decoded = Coded;
    } else if (F.BitsPerSample < 8) {
      Unpack = true;
      Decoded = Samples;
    } else {
      Decoded = Coded;
    }
    BuiltInLzw = F.LzwDecoder == nullptr || F.LzwDecoder == &TiffLzwDecompress;
    Raw.assign(Fax ? Decoded : Coded, 0);
    if (Unpack || Invert || ReverseBits) Out.assign(Decoded + 1, 0);
    Valid = true;
  }

  ~TState() { ReleaseLzw(); }

  void ReleaseLzw() {
    if (LzwState != nullptr) Format.LzwDecoder(nullptr, 0, 0, LzwState);
    LzwState = nullptr;
    LzwStarted = false;
  }

  // Decompresses the next stored row into Raw (or points Row at the strip's bytes).
  TTiffRowStatus Decompress(const uint8_t*& Row) {
    Row = Raw.data();
    switch (Format.Compression) {
      case kNone: {
        if (Pos >= Length) {
          std::memset(Raw.data(), 0, Coded);
          return trsNoData;
        }
        const size_t left = Length - Pos;
        if (left >= Coded) {
          Row = Data + Pos;
          Pos += Coded;
          return trsOk;
        }
        std::memcpy(Raw.data(), Data + Pos, left);
        std::memset(Raw.data() + left, 0, Coded - left);
        Pos = Length;
        return trsTruncated;
      }
      case kPackBits: {
        const bool any = Pos < Length;
        const size_t written = UnpackBitsRow(Raw.data(), Coded, Data, Length, Pos);
        if (written == Coded) return trsOk;
        return any ? trsTruncated : trsNoData;
      }
      case kLzw:
        return DecompressLzw();
      case kModifiedHuffman:
        return FaxStatus(FaxDecoder->DecodeMHRow(Raw.data()));
      case kGroup3:
        if (Format.T4Options & 1) return FaxStatus(FaxDecoder->Decode2D(Raw.data(), true));
        return FaxStatus(FaxDecoder->DecodeMH(Raw.data()));
      case kGroup4:
        return FaxStatus(FaxDecoder->Decode2D(Raw.data(), (Format.T4Options & 4) != 0));
      default:
        return trsUnsupported;
    }
  }

  static TTiffRowStatus FaxStatus(TFaxRowEnd End) {
    switch (End) {
      case freDataEnded:
        return trsTruncated;
      case freNoData:
        return trsNoData;
      default:
        return trsOk;
    }
  }

  TTiffRowStatus DecompressLzw() {
    if (BuiltInLzw) {
      if (!LzwStarted) {
        LzwStarted = true;
        if (!Lzw.Start(Data, Length, Coded)) return trsBadData;
      }
      const TLzwRowStatus status = Lzw.DecodeRow();
      if (status == lrsBadData) return trsBadData;
      std::memcpy(Raw.data(), Lzw.Row(), Coded);
      return status == lrsOk ? trsOk : status == lrsEnded ? trsTruncated : trsNoData;
    }
    // A substitute decoder: it tells only good rows from bad data.
    if (Coded > size_t(INT32_MAX)) return trsBadData;
    LzwStarted = true;
    const uint8_t* p =
        Format.LzwDecoder(Data != nullptr ? Data : Raw.data(), Length, int32_t(Coded), LzwState);
    if (p == nullptr) return trsBadData;
    std::memcpy(Raw.data(), p, Coded);
    return trsOk;
  }

  TTiffRowStatus Decode(const uint8_t*& Row) {
    Row = nullptr;
    if (!Valid) return trsUnsupported;
    const uint8_t* raw = nullptr;
    const TTiffRowStatus status = Decompress(raw);
    if (status == trsBadData || status == trsUnsupported) return status;
    const int32_t bits = Format.BitsPerSample;
    if (Format.Compression == kLzw && Format.Predictor == 2) {
      // raw is Raw here: LZW always decompresses into it.
      if (bits == 8) Undifference8(Raw.data(), Samples, size_t(Format.SamplesPerPixel));
      if (bits == 16)
        Undifference16(Raw.data(), Samples, size_t(Format.SamplesPerPixel), Format.LittleEndian);
    }
    if (Bilevel) {
      if (!Invert && !ReverseBits) {
        Row = raw;
        return status;
      }
      const uint8_t* reverse = ReversedBitsTable();
      const uint8_t flip = Invert ? 0xFF : 0x00;
      for (size_t i = 0; i < Decoded; ++i)
        Out[i] = uint8_t((ReverseBits ? reverse[raw[i]] : raw[i]) ^ flip);
      Row = Out.data();
      return status;
    }
    if (Unpack) {
      UnpackSamples(raw, Out.data(), Samples, bits);
      // 4-bit gray is brought to the 8-bit range here, once.
      if (bits == 4 && (Format.Photometric == 0 || Format.Photometric == 1))
        for (size_t i = 0; i < Samples; ++i) Out[i] = uint8_t(Out[i] << 4);
      Row = Out.data();
      return status;
    }
    Row = raw;
    return status;
  }
};

TTiffRowDecoder::TTiffRowDecoder(const TTiffRowFormat& Format)
    : FState(std::make_unique<TState>(Format)) {}

TTiffRowDecoder::~TTiffRowDecoder() = default;

bool TTiffRowDecoder::Valid() const { return FState->Valid; }
size_t TTiffRowDecoder::CodedRowBytes() const { return FState->Coded; }
size_t TTiffRowDecoder::DecodedRowBytes() const { return FState->Decoded; }

void TTiffRowDecoder::StartStrip(const uint8_t* Data, size_t Length) {
  TState& s = *FState;
  EndStrip();
  s.Data = Length ? Data : nullptr;
  s.Length = s.Data ? Length : 0;
  s.Pos = 0;
  if (s.FaxDecoder) s.FaxDecoder->Start(s.Data, s.Length);
}

TTiffRowStatus TTiffRowDecoder::DecodeRow(const uint8_t*& Row) { return FState->Decode(Row); }

void TTiffRowDecoder::EndStrip() { FState->ReleaseLzw(); }
