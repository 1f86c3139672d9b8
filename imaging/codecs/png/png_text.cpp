// Latin-1 and UTF-8 for the PNG text chunks.

#include "imaging/codecs/png/png_text.h"

#include <cstdint>

namespace png {

std::string Latin1ToUtf8(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (const char ch : Text) {
    const uint8_t c = uint8_t(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> Utf8ToLatin1(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size(); ++i) {
    const uint8_t c = uint8_t(Text[i]);
    if (c < 0x80) {
      out += char(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < Text.size() &&
               (uint8_t(Text[i + 1]) & 0xC0) == 0x80) {
      out += char(((c & 0x03) << 6) | (uint8_t(Text[i + 1]) & 0x3F));
      ++i;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

bool ValidKeyword(const std::string& Latin1) {
  if (Latin1.empty() || Latin1.size() > 79) return false;
  if (Latin1.front() == ' ' || Latin1.back() == ' ') return false;
  for (size_t i = 0; i < Latin1.size(); ++i) {
    const uint8_t c = uint8_t(Latin1[i]);
    if (!((c >= 32 && c <= 126) || c >= 161)) return false;
    if (c == ' ' && i > 0 && Latin1[i - 1] == ' ') return false;
  }
  return true;
}

}  // namespace png
