#include "shell/shell_id_list.h"

#include <stdexcept>

namespace {

constexpr size_t kMaxItemSize = 0xFFFF;

uint16_t CountAt(const std::vector<uint8_t>& b, size_t off) {
  return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}

void PutItem(std::vector<uint8_t>& b, TShellItemKind kind, std::string_view name) {
  const size_t size = 3 + name.size();
  if (size > kMaxItemSize) throw std::length_error("shell item name too long");
  b.push_back(static_cast<uint8_t>(size & 0xFF));
  b.push_back(static_cast<uint8_t>(size >> 8));
  b.push_back(static_cast<uint8_t>(kind));
  b.insert(b.end(), name.begin(), name.end());
}

}  // namespace

TIDList::TIDList() : FBytes{0, 0} {}

std::optional<TIDList> TIDList::FromBytes(std::span<const uint8_t> bytes) {
  size_t off = 0;
  while (true) {
    if (bytes.size() < off + 2) return std::nullopt;
    const uint16_t count = static_cast<uint16_t>(bytes[off] | (bytes[off + 1] << 8));
    if (count == 0) break;
    if (count < 3 || bytes.size() < off + count) return std::nullopt;
    off += count;
  }
  return TIDList(std::vector<uint8_t>(bytes.begin(), bytes.begin() + off + 2));
}

TIDList TIDList::Single(TShellItemKind kind, std::string_view name) {
  return TIDList().Append(kind, name);
}

size_t TIDList::OffsetOf(size_t n) const {
  size_t off = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint16_t count = CountAt(FBytes, off);
    if (count == 0) break;
    off += count;
  }
  return off;
}

size_t TIDList::Count() const {
  size_t n = 0, off = 0;
  while (uint16_t count = CountAt(FBytes, off)) {
    off += count;
    ++n;
  }
  return n;
}

TShellItem TIDList::Item(size_t i) const {
  const size_t off = OffsetOf(i);
  const uint16_t count = CountAt(FBytes, off);
  TShellItem item;
  if (count < 3) return item;
  item.Kind = static_cast<TShellItemKind>(FBytes[off + 2]);
  item.Name.assign(reinterpret_cast<const char*>(FBytes.data()) + off + 3, count - 3);
  return item;
}

std::vector<TShellItem> TIDList::Items() const {
  std::vector<TShellItem> items;
  const size_t n = Count();
  items.reserve(n);
  for (size_t i = 0; i < n; ++i) items.push_back(Item(i));
  return items;
}

TIDList TIDList::Join(const TIDList& tail) const {
  std::vector<uint8_t> b(FBytes.begin(), FBytes.end() - 2);
  b.insert(b.end(), tail.FBytes.begin(), tail.FBytes.end());
  return TIDList(std::move(b));
}

TIDList TIDList::Append(TShellItemKind kind, std::string_view name) const {
  std::vector<uint8_t> b(FBytes.begin(), FBytes.end() - 2);
  PutItem(b, kind, name);
  b.push_back(0);
  b.push_back(0);
  return TIDList(std::move(b));
}

TIDList TIDList::Cut(size_t n) const {
  const size_t off = OffsetOf(n);
  std::vector<uint8_t> b(FBytes.begin(), FBytes.begin() + off);
  b.push_back(0);
  b.push_back(0);
  return TIDList(std::move(b));
}

TIDList TIDList::Skip(size_t n) const {
  return TIDList(std::vector<uint8_t>(FBytes.begin() + OffsetOf(n), FBytes.end()));
}

TIDList TIDList::Last() const {
  const size_t n = Count();
  if (n == 0) return TIDList();
  const size_t off = OffsetOf(n - 1);
  return TIDList(std::vector<uint8_t>(FBytes.begin() + off, FBytes.end()));
}

bool TIDList::IsChildOf(const TIDList& parent) const {
  const size_t n = parent.Count();
  return Count() == n + 1 && Cut(n) == parent;
}
