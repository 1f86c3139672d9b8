#include "shell/shell_text.h"

#include <cstdint>

#include "platform/fs.h"

namespace shell {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::wstring CollationKey(std::string_view name) { return platform::CollationKey(name); }

int CompareCollated(std::string_view a, std::string_view b) {
  const int c = CollationKey(a).compare(CollationKey(b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string PercentEncode(std::string_view bytes) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const uint8_t c = static_cast<uint8_t>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string EncodeUriList(const std::vector<std::string>& paths) {
  std::string out;
  for (const std::string& p : paths) out += "file://" + PercentEncode(p) + "\r\n";
  return out;
}

std::vector<std::string> DecodeUriList(std::string_view text) {
  std::vector<std::string> paths;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (line.substr(0, 5) != "file:") continue;
    line.remove_prefix(5);
    if (line.substr(0, 2) == "//") {
      line.remove_prefix(2);
      const size_t slash = line.find('/');
      if (slash == std::string_view::npos) continue;
      const std::string_view host = line.substr(0, slash);
      if (!host.empty() && host != "localhost") continue;
      line.remove_prefix(slash);
    }
    if (line.empty() || line.front() != '/') continue;
    std::string path = PercentDecode(line);
    // A NUL byte cannot be part of a path; such a URI names nothing.
    if (path.find('\0') != std::string::npos) continue;
    paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace shell
