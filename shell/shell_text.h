#pragma once
// Text helpers of the shell services: collation keys for sorting names in the user's order,
// and the percent-encoding that file URIs and trash records use. Names are raw bytes
// throughout; bytes that are not valid UTF-8 survive every step unchanged.

#include <string>
#include <string_view>
#include <vector>

namespace shell {

// A key whose plain comparison orders names as the user's collation does on case-folded
// text (LC_COLLATE); a byte that is not valid UTF-8 stands for itself in U+DC80..U+DCFF.
std::wstring CollationKey(std::string_view name);
int CompareCollated(std::string_view a, std::string_view b);

// Percent-encodes every byte outside the unreserved set and '/'.
std::string PercentEncode(std::string_view bytes);
// Decodes "%XX" escapes to bytes; malformed escapes are kept as they are.
std::string PercentDecode(std::string_view text);

// "file://" URIs of absolute paths, one per line ending in CR LF, as text/uri-list carries them.
std::string EncodeUriList(const std::vector<std::string>& paths);
// The local paths of a text/uri-list: "file:" URIs with an empty or "localhost" host; comment
// lines and other URIs are skipped.
std::vector<std::string> DecodeUriList(std::string_view text);

}  // namespace shell
