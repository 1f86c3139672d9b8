// Exif fields from TIFF directories, and the maker-note copy.

#include "imaging/codecs/tiff/tiff_exif.h"

#include <algorithm>
#include <cstring>

#include "imaging/codecs/tiff/tiff_directory.h"
#include "imaging/io/params.h"

namespace {

// The maker note may be written back into a JPEG marker segment, so its copy stays within one.
constexpr size_t kMaxMakerNote = 65533;
constexpr uint32_t kMaxMakerEntries = 256;

template <size_t N>
void Rationals(const TTiffDirectory& Dir, uint16_t Tag, std::array<double, N>& Out) {
  if (!Dir.Has(Tag)) return;
  for (size_t i = 0; i < N; ++i) Out[i] = Dir.Rational(Tag, uint32_t(i));
}

int32_t Int(const TTiffDirectory& Dir, uint16_t Tag, int32_t Current) {
  return Dir.Has(Tag) ? int32_t(Dir.Integer(Tag, 0)) : Current;
}

double Real(const TTiffDirectory& Dir, uint16_t Tag, double Current) {
  return Dir.Has(Tag) ? Dir.Rational(Tag) : Current;
}

void Put16(uint8_t* p, uint32_t v, bool le) {
  if (le) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
  else { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
}
void Put32(uint8_t* p, uint32_t v, bool le) {
  for (int i = 0; i < 4; ++i) p[le ? i : 3 - i] = uint8_t(v >> (8 * i));
}
uint32_t Get16(const uint8_t* p, bool le) { return le ? p[0] | (p[1] << 8) : (p[0] << 8) | p[1]; }
uint32_t Get32(const uint8_t* p, bool le) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(p[le ? i : 3 - i]) << (8 * i);
  return v;
}

// Copies the maker's directory into memory of its own: the entry count, the entries, then
// the data of entries longer than 4 bytes with their offsets rewritten to point at the copy.
// Entries whose data lies outside the stream are left out; a type above 12 abandons the copy.
void CopyMakerNote(const TTiffDirectory& Exif, TVLTagsHandler& Note) {
  Note.Clear();
  const TTiffEntry* e = Exif.Find(37500);
  if (e == nullptr || e->Count <= 4) return;
  const bool le = Exif.LittleEndian();
  const int64_t start = Exif.Base() + int64_t(e->Value);
  uint8_t c[2];
  if (Exif.ReadBytesAt(start, c, 2) != 2) return;
  const uint32_t count = Get16(c, le);
  if (count > kMaxMakerEntries || uint64_t(count) * 12 > e->Count) return;
  std::vector<uint8_t> raw(size_t(count) * 12);
  if (Exif.ReadBytesAt(start + 2, raw.data(), raw.size()) != raw.size()) return;

  std::vector<uint8_t> entries, data;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* p = raw.data() + size_t(i) * 12;
    const uint16_t type = uint16_t(Get16(p + 2, le));
    if (type > 12) return;
    const uint64_t bytes = uint64_t(Get32(p + 4, le)) * std::max<uint32_t>(TiffTypeSize(type), 1);
    if (bytes > 4) {
      const int64_t at = Exif.Base() + int64_t(Get32(p + 8, le));
      if (bytes > kMaxMakerNote || at + int64_t(bytes) > Exif.StreamSize()) continue;
      std::vector<uint8_t> block(bytes);
      if (Exif.ReadBytesAt(at, block.data(), block.size()) != block.size()) continue;
      Put32(p + 8, uint32_t(data.size()), le);  // relative to the data area for now
      data.insert(data.end(), block.begin(), block.end());
    }
    entries.insert(entries.end(), p, p + 12);
    ++kept;
    if (2 + entries.size() + data.size() > kMaxMakerNote) return;
  }
  // Offsets count from the start of the copy: the data follows the count and the entries.
  const uint32_t dataStart = uint32_t(2 + entries.size());
  for (size_t i = 0; i < entries.size(); i += 12) {
    uint8_t* p = entries.data() + i;
    const uint16_t type = uint16_t(Get16(p + 2, le));
    if (uint64_t(Get32(p + 4, le)) * std::max<uint32_t>(TiffTypeSize(type), 1) > 4)
      Put32(p + 8, Get32(p + 8, le) + dataStart, le);
  }
  Note.Data.resize(2);
  Put16(Note.Data.data(), kept, le);
  Note.Data.insert(Note.Data.end(), entries.begin(), entries.end());
  Note.Data.insert(Note.Data.end(), data.begin(), data.end());
  Note.LittleEndian = le;
}

}  // namespace

void FillMainDirectoryExif(const TTiffDirectory& D, TIOParamsVals& P) {
  D.Ascii(270, P.ExifImageDescription);
  D.Ascii(271, P.ExifMake);
  D.Ascii(272, P.ExifModel);
  D.Ascii(306, P.ExifDateTime);
  P.ExifOrientation = Int(D, 274, P.ExifOrientation);
  P.ExifResolutionUnit = Int(D, 296, P.ExifResolutionUnit);
  D.Ascii(305, P.ExifSoftware);
  if (D.Has(40091)) P.ExifXPTitle = D.Wide(40091);
  if (D.Has(40092)) P.ExifXPComment = D.Wide(40092);
  if (D.Has(40093)) P.ExifXPAuthor = D.Wide(40093);
  if (D.Has(40094)) P.ExifXPKeywords = D.Wide(40094);
  if (D.Has(40095)) P.ExifXPSubject = D.Wide(40095);
  D.Ascii(315, P.ExifArtist);
  Rationals(D, 318, P.ExifWhitePoint);
  P.ExifYCbCrPositioning = Int(D, 531, P.ExifYCbCrPositioning);
  Rationals(D, 319, P.ExifPrimaryChromaticities);
  Rationals(D, 529, P.ExifYCbCrCoefficients);
  Rationals(D, 532, P.ExifReferenceBlackWhite);
  D.Ascii(33432, P.ExifCopyright);
}

void FillExifDirectory(const TTiffDirectory& E, TIOParamsVals& P) {
  P.ExifExposureTime = Real(E, 33434, P.ExifExposureTime);
  P.ExifFNumber = Real(E, 33437, P.ExifFNumber);
  P.ExifExposureProgram = Int(E, 34850, P.ExifExposureProgram);
  if (const TTiffEntry* iso = E.Find(34855)) {
    P.ExifISOSpeedRatings[0] = int32_t(E.IntegerAt(*iso, 0));
    P.ExifISOSpeedRatings[1] = int32_t(E.IntegerAt(*iso, 1));
  }
  if (E.Has(36864)) {
    const std::vector<uint8_t> v = E.Bytes(36864);
    P.ExifVersion.assign(v.begin(), v.begin() + std::min<size_t>(v.size(), 4));
  }
  E.Ascii(36867, P.ExifDateTimeOriginal);
  E.Ascii(36868, P.ExifDateTimeDigitized);
  P.ExifCompressedBitsPerPixel = Real(E, 37122, P.ExifCompressedBitsPerPixel);
  P.ExifShutterSpeedValue = Real(E, 37377, P.ExifShutterSpeedValue);
  P.ExifApertureValue = Real(E, 37378, P.ExifApertureValue);
  P.ExifBrightnessValue = Real(E, 37379, P.ExifBrightnessValue);
  P.ExifExposureBiasValue = Real(E, 37380, P.ExifExposureBiasValue);
  P.ExifMaxApertureValue = Real(E, 37381, P.ExifMaxApertureValue);
  P.ExifSubjectDistance = Real(E, 37382, P.ExifSubjectDistance);
  P.ExifMeteringMode = Int(E, 37383, P.ExifMeteringMode);
  P.ExifLightSource = Int(E, 37384, P.ExifLightSource);
  P.ExifFlash = Int(E, 37385, P.ExifFlash);
  P.ExifFocalLength = Real(E, 37386, P.ExifFocalLength);
  E.Ascii(37520, P.ExifSubsecTime);
  E.Ascii(37521, P.ExifSubsecTimeOriginal);
  E.Ascii(37522, P.ExifSubsecTimeDigitized);
  if (E.Has(40960)) {
    const std::vector<uint8_t> v = E.Bytes(40960);
    P.ExifFlashPixVersion.assign(v.begin(), v.begin() + std::min<size_t>(v.size(), 4));
  }
  P.ExifColorSpace = Int(E, 40961, P.ExifColorSpace);
  P.ExifImageWidth = Int(E, 40962, P.ExifImageWidth);
  P.ExifImageHeight = Int(E, 40963, P.ExifImageHeight);
  E.Ascii(40964, P.ExifRelatedSoundFile);
  P.ExifFocalPlaneXResolution = Real(E, 41486, P.ExifFocalPlaneXResolution);
  P.ExifFocalPlaneYResolution = Real(E, 41487, P.ExifFocalPlaneYResolution);
  P.ExifFocalPlaneResolutionUnit = Int(E, 41488, P.ExifFocalPlaneResolutionUnit);
  P.ExifExposureIndex = Real(E, 41493, P.ExifExposureIndex);
  P.ExifSensingMethod = Int(E, 41495, P.ExifSensingMethod);
  P.ExifFileSource = Int(E, 41728, P.ExifFileSource);
  P.ExifSceneType = Int(E, 41729, P.ExifSceneType);
  if (E.Has(37510)) {
    const std::vector<uint8_t> v = E.Bytes(37510);
    const size_t code = std::min<size_t>(v.size(), 8);
    P.ExifUserCommentCode.assign(v.begin(), v.begin() + code);
    P.ExifUserComment.assign(v.begin() + code, v.end());
  }
  CopyMakerNote(E, P.ExifMakerNote);
}
