#pragma once
// Text of PNG text chunks: keywords and tEXt/zTXt texts are Latin-1, iTXt texts UTF-8; our
// strings are UTF-8.

#include <optional>
#include <string>

namespace png {

// Latin-1 bytes as UTF-8.
std::string Latin1ToUtf8(const std::string& Text);

// UTF-8 as Latin-1 bytes; nothing when the text is not valid UTF-8 or holds a character
// above U+00FF.
std::optional<std::string> Utf8ToLatin1(const std::string& Text);

// A keyword the format accepts: 1 to 79 printable Latin-1 characters, no leading, trailing
// or doubled space.
bool ValidKeyword(const std::string& Latin1);

}  // namespace png
