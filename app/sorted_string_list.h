#pragma once
// A string list kept in ascending order of a case-insensitive comparison in the user's
// collation order. Adding a string that the list counts as a duplicate does nothing; what
// counts as a duplicate is chosen at construction. Each entry can carry a 64-bit value.

#include <cstdint>
#include <string>
#include <vector>

class TSortedStringList {
 public:
  enum class TDuplicateMode {
    // Strings equal when case is ignored are duplicates; the first one added is kept.
    dmIgnoreCase,
    // Only identical strings are duplicates. Strings equal when case is ignored are all
    // kept, next to each other, ordered among themselves by their bytes.
    dmExact,
  };

  explicit TSortedStringList(TDuplicateMode mode = TDuplicateMode::dmIgnoreCase);

  // Inserts s at its sorted place unless a duplicate is present. Returns true when added.
  // index (optional) receives the position of the new entry or of the duplicate.
  bool Add(const std::string& s, uint64_t data = 0, int* index = nullptr);
  // Position of s (under the list's duplicate rule), or -1.
  int IndexOf(const std::string& s) const;
  // Position where s is or would be inserted; true when a duplicate is there.
  bool Find(const std::string& s, int& index) const;

  int Count() const { return static_cast<int>(FItems.size()); }
  bool Empty() const { return FItems.empty(); }
  const std::string& operator[](int i) const { return FItems.at(static_cast<size_t>(i)).Text; }
  const std::string& Strings(int i) const { return (*this)[i]; }
  uint64_t Data(int i) const { return FItems.at(static_cast<size_t>(i)).Data; }
  std::vector<std::string> ToVector() const;
  void Delete(int i);
  void Clear() { FItems.clear(); }
  TDuplicateMode DuplicateMode() const { return FMode; }

 private:
  struct Item {
    std::string Text;
    uint64_t Data;
  };
  int Compare(const std::string& a, const std::string& b) const;

  TDuplicateMode FMode;
  std::vector<Item> FItems;
};
