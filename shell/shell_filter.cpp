#include "shell/shell_filter.h"

#include <cstdint>

namespace {

// One character of a name or mask: its code point (or the stray byte's value) and length.
struct TChar {
  uint32_t Code = 0;
  size_t Length = 1;
};

uint32_t Fold(uint32_t c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

TChar CharAt(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t c = byte(i);
  size_t n = 1;
  uint32_t code = c;
  if (c >= 0xC2 && c <= 0xDF) n = 2, code = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, code = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, code = c & 0x07;
  if (n == 1 || i + n > s.size()) return {c, 1};
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {c, 1};
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  return {code, n};
}

// Matches the set starting at mask[m] == '[' against c. Returns the mask position after the
// set, or npos when the set is not closed (the '[' is then an ordinary character).
size_t MatchSet(std::string_view mask, size_t m, uint32_t c, bool& matched) {
  size_t i = m + 1;
  bool negate = false;
  if (i < mask.size() && mask[i] == '!') {
    negate = true;
    ++i;
  }
  bool in = false;
  bool first = true;
  while (i < mask.size() && (first || mask[i] != ']')) {
    first = false;
    const TChar lo = CharAt(mask, i);
    i += lo.Length;
    uint32_t hi = lo.Code;
    if (i + 1 < mask.size() && mask[i] == '-' && mask[i + 1] != ']') {
      const TChar h = CharAt(mask, i + 1);
      hi = h.Code;
      i += 1 + h.Length;
    }
    const uint32_t f = Fold(c);
    if ((c >= lo.Code && c <= hi) || (f >= Fold(lo.Code) && f <= Fold(hi))) in = true;
  }
  if (i >= mask.size()) return std::string_view::npos;
  matched = in != negate;
  return i + 1;
}

}  // namespace

bool MatchesFilterMask(std::string_view mask, std::string_view name) {
  // Iterative matching with one backtrack point at the last '*': linear in practice and never
  // recursive, so hostile names cannot exhaust the stack.
  size_t m = 0, n = 0;
  size_t starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    bool advanced = false;
    if (m < mask.size()) {
      const TChar nc = CharAt(name, n);
      if (mask[m] == '*') {
        starMask = m++;
        starName = n;
        continue;
      }
      if (mask[m] == '?') {
        ++m;
        n += nc.Length;
        advanced = true;
      } else {
        bool inSet = false;
        const size_t after = mask[m] == '[' ? MatchSet(mask, m, nc.Code, inSet)
                                            : std::string_view::npos;
        if (after != std::string_view::npos) {
          if (inSet) {
            m = after;
            n += nc.Length;
            advanced = true;
          }
        } else {
          const TChar mc = CharAt(mask, m);
          if (Fold(mc.Code) == Fold(nc.Code)) {
            m += mc.Length;
            n += nc.Length;
            advanced = true;
          }
        }
      }
    }
    if (advanced) continue;
    if (starMask == std::string_view::npos) return false;
    m = starMask + 1;
    starName += CharAt(name, starName).Length;
    n = starName;
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

void TFilterMasks::Set(std::string_view value) {
  FMasks.clear();
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(';', start);
    if (end == std::string_view::npos) end = value.size();
    std::string_view mask = value.substr(start, end - start);
    while (!mask.empty() && mask.front() == ' ') mask.remove_prefix(1);
    while (!mask.empty() && mask.back() == ' ') mask.remove_suffix(1);
    if (!mask.empty()) FMasks.emplace_back(mask);
    start = end + 1;
  }
  if (FMasks.empty()) FMasks.emplace_back("*");
}

std::string TFilterMasks::Get() const {
  std::string out;
  for (size_t i = 0; i < FMasks.size(); ++i) {
    if (i) out += ';';
    out += FMasks[i];
  }
  return out;
}

bool TFilterMasks::Matches(std::string_view name) const {
  for (const std::string& mask : FMasks) {
    if (MatchesFilterMask(mask, name)) return true;
  }
  return false;
}
