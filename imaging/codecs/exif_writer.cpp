// The EXIF block writer.
//
// Layout of the TIFF structure (offsets count from its first byte, the "II"):
//   header (8 bytes) | values of the first directory's entries that need more than 4 bytes,
//   in the order the entries are made | likewise for the EXIF directory | pad to even |
//   EXIF directory | pad to even | first directory.
// Each directory is an entry count, its entries sorted by tag (12 bytes each) and a zero
// next-directory offset. Values of 4 bytes or fewer always live in the entry itself.

#include "imaging/codecs/exif_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "imaging/io/param_objects.h"
#include "imaging/io/params.h"

namespace {

constexpr uint16_t kTypeByte = 1;
constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeRational = 5;
constexpr uint16_t kTypeUndefined = 7;
constexpr uint16_t kTypeSRational = 10;

constexpr uint16_t kTagExifDirectory = 34665;
constexpr uint16_t kTagMakerNote = 37500;

constexpr uint64_t kMaxOffset = std::numeric_limits<uint32_t>::max();

void Put16(std::vector<uint8_t>& Out, uint16_t V) {
  Out.push_back(uint8_t(V));
  Out.push_back(uint8_t(V >> 8));
}
void Put32(std::vector<uint8_t>& Out, uint32_t V) {
  for (int shift = 0; shift < 32; shift += 8) Out.push_back(uint8_t(V >> shift));
}

// Big- or little-endian numbers inside a maker note, which keeps its own byte order.
uint32_t Get(const uint8_t* P, int Bytes, bool LittleEndian) {
  uint32_t v = 0;
  for (int i = 0; i < Bytes; ++i) v |= uint32_t(P[LittleEndian ? i : Bytes - 1 - i]) << (8 * i);
  return v;
}
void Set32(uint8_t* P, uint32_t V, bool LittleEndian) {
  for (int i = 0; i < 4; ++i) P[LittleEndian ? i : 3 - i] = uint8_t(V >> (8 * i));
}

// Bytes per value of the TIFF field types 1..12; 0 for types a reader cannot size.
uint32_t TypeSize(uint32_t Type) {
  static constexpr uint8_t kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return Type < 13 ? kSizes[Type] : 0;
}

// trunc(Value) saturated to 32 bits; NaN gives 0.
int32_t TruncSaturated(double Value) {
  if (std::isnan(Value)) return 0;
  const double t = std::trunc(Value);
  if (t <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (t >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return int32_t(t);
}

struct TEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  std::array<uint8_t, 4> Value;
};

// Makes entries into one directory at a time, appending their long values to the value area.
class TBuilder {
 public:
  TBuilder() { FData.resize(8); }  // the header, written last

  void SetDirectory(std::vector<TEntry>& Directory) { FDirectory = &Directory; }
  bool Failed() const { return FFailed; }
  uint64_t Position() const { return FData.size(); }

  void Short(uint16_t Tag, int32_t Value) {
    const uint8_t b[2] = {uint8_t(Value), uint8_t(Value >> 8)};
    Add(Tag, kTypeShort, 1, b, 2);
  }
  void ShortPair(uint16_t Tag, int32_t First, int32_t Second) {
    const uint8_t b[4] = {uint8_t(First), uint8_t(First >> 8), uint8_t(Second),
                          uint8_t(Second >> 8)};
    Add(Tag, kTypeShort, 2, b, 4);
  }
  void Long(uint16_t Tag, uint32_t Value) {
    const uint8_t b[4] = {uint8_t(Value), uint8_t(Value >> 8), uint8_t(Value >> 16),
                          uint8_t(Value >> 24)};
    Add(Tag, kTypeLong, 1, b, 4);
  }
  void Rationals(uint16_t Tag, std::span<const double> Values, uint16_t Type = kTypeRational) {
    std::vector<uint8_t> b;
    for (const double v : Values) {
      const TVLExifRational r = RealToRational(v);
      Put32(b, uint32_t(r.Numerator));
      Put32(b, r.Denominator);
    }
    Add(Tag, Type, Values.size(), b.data(), b.size());
  }
  void Rational(uint16_t Tag, double Value, uint16_t Type = kTypeRational) {
    Rationals(Tag, std::span<const double>(&Value, 1), Type);
  }
  // trunc(Value) / 1, as resolutions are written.
  void WholeRational(uint16_t Tag, double Value) {
    std::vector<uint8_t> b;
    Put32(b, uint32_t(TruncSaturated(Value)));
    Put32(b, 1);
    Add(Tag, kTypeRational, 1, b.data(), b.size());
  }
  // Up to 4 characters are stored in the entry without a terminating zero; longer text goes
  // to the value area with one.
  void Text(uint16_t Tag, std::string_view Value) {
    if (Value.size() <= 4) {
      Add(Tag, kTypeAscii, Value.size(), reinterpret_cast<const uint8_t*>(Value.data()),
          Value.size());
      return;
    }
    std::vector<uint8_t> b(Value.begin(), Value.end());
    b.push_back(0);
    Add(Tag, kTypeAscii, b.size(), b.data(), b.size());
  }
  // A version field: its first 4 characters, in the entry.
  void ShortText(uint16_t Tag, std::string_view Value) { Text(Tag, Value.substr(0, 4)); }
  // UTF-16 little-endian with a zero character, as BYTE values.
  void WideText(uint16_t Tag, const std::u16string& Value) {
    std::vector<uint8_t> b;
    for (const char16_t c : Value) Put16(b, uint16_t(c));
    Put16(b, 0);
    Add(Tag, kTypeByte, b.size(), b.data(), b.size());
  }
  // The maker's directory copied whole, its offsets rebased to where the copy starts; a
  // note that cannot be carried over intact is left out.
  void MakerNote(uint16_t Tag, const TVLTagsHandler& Note) {
    const std::vector<uint8_t> b = RebaseMakerNote(Note, Position());
    if (b.empty()) return;
    Add(Tag, kTypeUndefined, b.size(), b.data(), b.size());
  }

  void PadToEven() {
    if (FData.size() % 2 != 0) FData.push_back(0);
  }
  // Writes Directory sorted by tag at the (even) position; returns that position.
  uint32_t WriteDirectory(std::vector<TEntry>& Directory) {
    PadToEven();
    const uint64_t at = Position();
    if (at + 6 + 12 * uint64_t(Directory.size()) > kMaxOffset) FFailed = true;
    std::stable_sort(Directory.begin(), Directory.end(),
                     [](const TEntry& a, const TEntry& b) { return a.Tag < b.Tag; });
    Put16(FData, uint16_t(Directory.size()));
    for (const TEntry& e : Directory) {
      Put16(FData, e.Tag);
      Put16(FData, e.Type);
      Put32(FData, e.Count);
      FData.insert(FData.end(), e.Value.begin(), e.Value.end());
    }
    Put32(FData, 0);
    return uint32_t(at);
  }
  // The header ("II", 42, first directory's offset) and the "Exif" 0 0 prefix.
  std::vector<uint8_t> Finish(uint32_t FirstDirectory) {
    std::vector<uint8_t> header = {'I', 'I'};
    Put16(header, 42);
    Put32(header, FirstDirectory);
    std::copy(header.begin(), header.end(), FData.begin());
    static constexpr uint8_t kPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
    FData.insert(FData.begin(), std::begin(kPrefix), std::end(kPrefix));
    return std::move(FData);
  }

 private:
  void Add(uint16_t Tag, uint16_t Type, uint64_t Count, const uint8_t* Bytes, size_t Length) {
    TEntry e{Tag, Type, uint32_t(Count), {0, 0, 0, 0}};
    if (Count > kMaxOffset) FFailed = true;
    if (Length <= 4) {
      std::copy(Bytes, Bytes + Length, e.Value.begin());
    } else {
      const uint64_t at = Position();
      if (at + Length > kMaxOffset) FFailed = true;
      e.Value = {uint8_t(at), uint8_t(at >> 8), uint8_t(at >> 16), uint8_t(at >> 24)};
      FData.insert(FData.end(), Bytes, Bytes + Length);
    }
    FDirectory->push_back(e);
  }

  std::vector<uint8_t> FData;
  std::vector<TEntry>* FDirectory = nullptr;
  bool FFailed = false;
};

void MakeFirstDirectory(TBuilder& b, const TIOParamsVals& p) {
  if (!p.ExifImageDescription.empty()) b.Text(270, p.ExifImageDescription);
  if (p.ExifXResolution != 0) b.WholeRational(282, p.ExifXResolution);
  if (p.ExifYResolution != 0) b.WholeRational(283, p.ExifYResolution);
  b.Short(274, p.TiffOrientation());
  b.Short(296, 2);  // resolution unit: inches
  if (!p.ExifSoftware.empty()) b.Text(305, p.ExifSoftware);
  const std::u16string* const xp[] = {&p.ExifXPTitle, &p.ExifXPComment, &p.ExifXPAuthor,
                                      &p.ExifXPKeywords, &p.ExifXPSubject};
  for (uint16_t i = 0; i < 5; ++i)
    if (!xp[i]->empty()) b.WideText(uint16_t(40091 + i), *xp[i]);
  if (!p.ExifArtist.empty()) b.Text(315, p.ExifArtist);
  if (!p.ExifMake.empty()) b.Text(271, p.ExifMake);
  if (!p.ExifModel.empty()) b.Text(272, p.ExifModel);
  if (!p.ExifDateTime.empty()) b.Text(306, p.ExifDateTime);
  b.Rationals(318, p.ExifWhitePoint);
  b.Short(531, p.ExifYCbCrPositioning);
  b.Rationals(319, p.ExifPrimaryChromaticities);
  b.Rationals(529, p.ExifYCbCrCoefficients);
  b.Rationals(532, p.ExifReferenceBlackWhite);
  if (!p.ExifCopyright.empty()) b.Text(33432, p.ExifCopyright);
}

void MakeExifDirectory(TBuilder& b, const TIOParamsVals& p) {
  b.Rational(33434, p.ExifExposureTime);
  b.Rational(33437, p.ExifFNumber);
  b.Short(34850, p.ExifExposureProgram);
  b.ShortPair(34855, p.ExifISOSpeedRatings[0], p.ExifISOSpeedRatings[1]);
  b.ShortText(36864, p.ExifVersion);
  if (!p.ExifDateTimeOriginal.empty()) b.Text(36867, p.ExifDateTimeOriginal);
  if (!p.ExifDateTimeDigitized.empty()) b.Text(36868, p.ExifDateTimeDigitized);
  b.Rational(37122, p.ExifCompressedBitsPerPixel);
  const double apex[] = {p.ExifShutterSpeedValue, p.ExifApertureValue,    p.ExifBrightnessValue,
                         p.ExifExposureBiasValue, p.ExifMaxApertureValue, p.ExifSubjectDistance};
  // Shutter speed, brightness and exposure bias may be negative: they are signed rationals,
  // so that other readers see -0.7 rather than 4294.27. The value bytes are the same.
  for (uint16_t i = 0; i < 6; ++i) {
    const bool signedValue = i == 0 || i == 2 || i == 3;
    b.Rational(uint16_t(37377 + i), apex[i], signedValue ? kTypeSRational : kTypeRational);
  }
  b.Short(37383, p.ExifMeteringMode);
  b.Short(37384, p.ExifLightSource);
  b.Short(37385, p.ExifFlash);
  b.Rational(37386, p.ExifFocalLength);
  if (!p.ExifSubsecTime.empty()) b.Text(37520, p.ExifSubsecTime);
  if (!p.ExifSubsecTimeOriginal.empty()) b.Text(37521, p.ExifSubsecTimeOriginal);
  if (!p.ExifSubsecTimeDigitized.empty()) b.Text(37522, p.ExifSubsecTimeDigitized);
  if (!p.ExifFlashPixVersion.empty()) b.ShortText(40960, p.ExifFlashPixVersion);
  b.Short(40961, p.ExifColorSpace);
  b.Short(40962, p.ExifImageWidth);
  b.Short(40963, p.ExifImageHeight);
  if (!p.ExifRelatedSoundFile.empty()) b.Text(40964, p.ExifRelatedSoundFile);
  b.Rational(41486, p.ExifFocalPlaneXResolution);
  b.Rational(41487, p.ExifFocalPlaneYResolution);
  b.Short(41488, p.ExifFocalPlaneResolutionUnit);
  b.Rational(41493, p.ExifExposureIndex);
  b.Short(41495, p.ExifSensingMethod);
  b.Short(41728, p.ExifFileSource);
  b.Short(41729, p.ExifSceneType);
  const std::string comment = p.ExifUserCommentCode + p.ExifUserComment;
  if (!comment.empty()) b.Text(37510, comment);
  if (p.ExifMakerNote.Size() >= 12) b.MakerNote(kTagMakerNote, p.ExifMakerNote);
}

}  // namespace

TVLExifRational RealToRational(double Value) {
  if (std::isnan(Value)) return {0, 1};
  constexpr double kLimit = 2147483640.0;
  uint32_t den = 1000000;
  while (den > 1 && std::fabs(double(den) * Value) > kLimit) den /= 10;
  double num = std::nearbyint(double(den) * Value);
  num = std::clamp(num, double(std::numeric_limits<int32_t>::min()),
                   double(std::numeric_limits<int32_t>::max()));
  return {int32_t(num), den};
}

std::vector<uint8_t> RebaseMakerNote(const TVLTagsHandler& Note, uint64_t Base) {
  const std::vector<uint8_t>& src = Note.Data;
  const bool le = Note.LittleEndian;
  const uint64_t size = src.size();
  if (size < 2) return {};
  const uint64_t count = Get(src.data(), 2, le);
  if (2 + 12 * count > size) return {};
  std::vector<uint8_t> out = src;
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t* entry = out.data() + 2 + 12 * i;
    const uint32_t typeSize = TypeSize(Get(entry + 2, 2, le));
    if (typeSize == 0) return {};
    const uint64_t length = uint64_t(Get(entry + 4, 4, le)) * typeSize;
    if (length <= 4) continue;  // the value lives in the entry
    const uint64_t offset = Get(entry + 8, 4, le);
    if (offset > size || length > size - offset) return {};
    if (Base + offset > kMaxOffset) return {};
    Set32(entry + 8, uint32_t(Base + offset), le);
  }
  return out;
}

std::vector<uint8_t> BuildExifBlock(const TIOParamsVals& Params) {
  TBuilder b;
  std::vector<TEntry> first, exif;
  b.SetDirectory(first);
  MakeFirstDirectory(b, Params);
  b.SetDirectory(exif);
  MakeExifDirectory(b, Params);
  const uint32_t exifAt = b.WriteDirectory(exif);
  b.SetDirectory(first);
  b.Long(kTagExifDirectory, exifAt);
  const uint32_t firstAt = b.WriteDirectory(first);
  if (b.Failed()) return {};  // offsets past 4 GiB: no complete block can be made
  return b.Finish(firstAt);
}
