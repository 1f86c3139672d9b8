// Locale-aware comparison ignoring case, and ASCII upper-casing.

#include <locale>
#include <string>

#include "platform/fs.h"

namespace platform {
namespace {

// The user's locale; an unknown LANG/LC_* value makes std::locale("") throw, in which
// case the classic locale (code point order) is used.
const std::locale& UserLocale() {
  static const std::locale loc = [] {
    try {
      return std::locale("");
    } catch (const std::exception&) {
      return std::locale::classic();
    }
  }();
  return loc;
}

// Decodes UTF-8; a byte that does not start a valid sequence stands for itself in the
// private-use range U+DC80..U+DCFF so that different byte strings stay different.
std::wstring Decode(std::string_view s) {
  std::wstring out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = 0;
    char32_t cp = 0;
    if (c < 0x80) { n = 1; cp = c; }
    else if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07; }
    bool ok = n > 0 && i + n <= s.size();
    for (size_t k = 1; ok && k < n; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
               (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))) {
      ok = false;
    }
    if (!ok) {
      out.push_back(static_cast<wchar_t>(0xDC00 + c));
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(cp));
    i += n;
  }
  return out;
}

}  // namespace

std::wstring CollationKey(std::string_view s) {
  const std::locale& loc = UserLocale();
  std::wstring w = Decode(s);
  std::use_facet<std::ctype<wchar_t>>(loc).tolower(w.data(), w.data() + w.size());
  return std::use_facet<std::collate<wchar_t>>(loc).transform(w.data(), w.data() + w.size());
}

int CompareTextLocale(std::string_view a, std::string_view b) {
  const std::locale& loc = UserLocale();
  const auto& ctype = std::use_facet<std::ctype<wchar_t>>(loc);
  std::wstring wa = Decode(a);
  std::wstring wb = Decode(b);
  ctype.tolower(wa.data(), wa.data() + wa.size());
  ctype.tolower(wb.data(), wb.data() + wb.size());
  const auto& coll = std::use_facet<std::collate<wchar_t>>(loc);
  int c = coll.compare(wa.data(), wa.data() + wa.size(), wb.data(), wb.data() + wb.size());
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

}  // namespace platform
