// The sorted string list: binary search on the locale comparison ignoring case.

#include "app/sorted_string_list.h"

#include <stdexcept>

#include "platform/fs.h"

TSortedStringList::TSortedStringList(TDuplicateMode mode) : FMode(mode) {}

int TSortedStringList::Compare(const std::string& a, const std::string& b) const {
  int c = platform::CompareTextLocale(a, b);
  if (c == 0 && FMode == TDuplicateMode::dmExact) c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool TSortedStringList::Find(const std::string& s, int& index) const {
  size_t lo = 0, hi = FItems.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    int c = Compare(FItems[mid].Text, s);
    if (c < 0) {
      lo = mid + 1;
    } else if (c > 0) {
      hi = mid;
    } else {
      index = static_cast<int>(mid);
      return true;
    }
  }
  index = static_cast<int>(lo);
  return false;
}

bool TSortedStringList::Add(const std::string& s, uint64_t data, int* index) {
  int at = 0;
  bool found = Find(s, at);
  if (index) *index = at;
  if (found) return false;
  FItems.insert(FItems.begin() + at, Item{s, data});
  return true;
}

int TSortedStringList::IndexOf(const std::string& s) const {
  int at = 0;
  return Find(s, at) ? at : -1;
}

std::vector<std::string> TSortedStringList::ToVector() const {
  std::vector<std::string> out;
  out.reserve(FItems.size());
  for (const Item& item : FItems) out.push_back(item.Text);
  return out;
}

void TSortedStringList::Delete(int i) {
  if (i < 0 || static_cast<size_t>(i) >= FItems.size()) {
    throw std::out_of_range("TSortedStringList::Delete: index out of range");
  }
  FItems.erase(FItems.begin() + i);
}
