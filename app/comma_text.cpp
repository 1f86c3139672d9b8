// Splitting and joining comma text.

#include "app/comma_text.h"

namespace {

bool IsBlankOrControl(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

}  // namespace

std::vector<std::string> SplitCommaText(std::string_view text) {
  // The text ends at the first NUL, as a C string would.
  size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);

  std::vector<std::string> items;
  size_t p = 0;
  const size_t n = text.size();
  while (p < n && IsBlankOrControl(text[p])) ++p;
  while (p < n) {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item.push_back('"');
            p += 2;
            continue;
          }
          ++p;  // the closing quote
          break;
        }
        item.push_back(text[p++]);
      }
    } else {
      size_t start = p;
      while (p < n && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
      item.assign(text.substr(start, p - start));
    }
    items.push_back(std::move(item));
    while (p < n && IsBlankOrControl(text[p])) ++p;
    if (p < n && text[p] == ',') {
      if (p + 1 == n) items.emplace_back();
      do {
        ++p;
      } while (p < n && IsBlankOrControl(text[p]));
    }
  }
  return items;
}

std::string JoinCommaText(const std::vector<std::string>& items) {
  if (items.size() == 1 && items[0].empty()) return "\"\"";
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::string& s = items[i];
    bool quote = false;
    for (char c : s) {
      if (static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',') {
        quote = true;
        break;
      }
    }
    if (i > 0) out.push_back(',');
    if (!quote) {
      out += s;
      continue;
    }
    out.push_back('"');
    for (char c : s) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  }
  return out;
}
