#pragma once
// Comma text: a list of strings written as one line, items separated by commas, items with
// blanks, control characters, quotes or commas enclosed in double quotes.

#include <string>
#include <string_view>
#include <vector>

// Splits comma text. Characters 1..32 before an item are skipped; a quoted item runs to its
// closing quote ("" inside stands for one quote); any other item runs up to the next comma
// or character of code 32 or below; a comma at the very end adds an empty item. A NUL
// character ends the text.
std::vector<std::string> SplitCommaText(std::string_view text);

// Joins items with commas, quoting an item that holds a character of code 32 or below, a
// double quote or a comma. A list of one empty item gives "\"\"".
std::string JoinCommaText(const std::vector<std::string>& items);
