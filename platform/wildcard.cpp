// The wildcard matcher of the directory search: '*' and '?', letters compared without regard
// to case, and the three-letter extension rule of short file names ("*.tif" finds "a.tiff").

#include <cstddef>
#include <string_view>

#include "platform/fs.h"

namespace platform {
namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Length in bytes of the UTF-8 character starting at s[i]; a stray byte counts as one
// character so that malformed names still match predictably.
size_t CharLength(std::string_view s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = 1;
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) n = 3;
  else if (c >= 0xF0 && c <= 0xF4) n = 4;
  if (i + n > s.size()) return 1;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

// Classic iterative glob matching with one backtrack point for the last '*'; linear in
// practice and never recursive, so hostile names cannot blow the stack.
bool Glob(std::string_view mask, std::string_view name) {
  size_t m = 0, n = 0;
  size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (m < mask.size() && mask[m] == '?') {
      ++m;
      n += CharLength(name, n);
    } else if (m < mask.size() &&
               FoldAscii(static_cast<unsigned char>(mask[m])) ==
                   FoldAscii(static_cast<unsigned char>(name[n]))) {
      ++m;
      ++n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      starName += CharLength(name, starName);
      n = starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(std::string_view mask, std::string_view name) {
  if (mask.empty()) return false;
  if (Glob(mask, name)) return true;
  // A trailing ".*" also matches a name without extension ("*.*" matches "README").
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos && Glob(mask.substr(0, mask.size() - 2), name)) {
    return true;
  }
  // Short-name rule: a mask extension of exactly three characters (no '*') matches a longer
  // extension that begins with them, as the 8.3 alias "A~1.TIF" of "a.tiff" did.
  size_t maskDot = mask.rfind('.');
  size_t nameDot = name.rfind('.');
  if (maskDot == std::string_view::npos || nameDot == std::string_view::npos) return false;
  std::string_view maskExt = mask.substr(maskDot + 1);
  std::string_view nameExt = name.substr(nameDot + 1);
  if (maskExt.size() != 3 || maskExt.find('*') != std::string_view::npos) return false;
  if (nameExt.size() <= 3) return false;
  // The four-letter spelling ".jpeg" answers to "*.jpg" as well: users expect their .jpeg
  // photos to be found wherever .jpg ones are.
  if (nameExt.size() == 4 && Glob(maskExt, "jpg") && Glob("jpeg", nameExt)) {
    return Glob(mask.substr(0, maskDot), name.substr(0, nameDot));
  }
  // Take the first three characters of the name's extension.
  size_t cut = 0;
  for (int k = 0; k < 3 && cut < nameExt.size(); ++k) cut += CharLength(nameExt, cut);
  if (cut >= nameExt.size()) return false;
  return Glob(maskExt, nameExt.substr(0, cut)) &&
         Glob(mask.substr(0, maskDot), name.substr(0, nameDot));
}

}  // namespace platform
