#pragma once
// The name filter of the shell controls: masks separated by semicolons, each covering a whole
// name with '*' (any run of characters), '?' (any one character) and bracket sets ("[a-f]",
// "[!0-9]"), letters compared without regard to ASCII case. Unlike the directory search of
// the copy utility, a three-letter extension does not stand for longer ones here: "*.jpg"
// does not match "a.jpeg".

#include <string>
#include <string_view>
#include <vector>

// True when mask covers the whole name. '?' and a set take one UTF-8 character; a byte that
// does not start a valid sequence counts as a character of its own.
bool MatchesFilterMask(std::string_view mask, std::string_view name);

class TFilterMasks {
 public:
  TFilterMasks() { Set("*"); }
  // Splits at semicolons; blanks around a mask are dropped, empty masks ignored, and a value
  // without any mask means "*".
  void Set(std::string_view value);
  // The masks joined with semicolons.
  std::string Get() const;
  const std::vector<std::string>& Masks() const { return FMasks; }
  bool Matches(std::string_view name) const;

 private:
  std::vector<std::string> FMasks;
};
