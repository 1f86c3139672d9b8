// Text that reaches the shell from outside: file lists from the clipboard (text/uri-list),
// filter masks and file names, and ID lists given as bytes. Checks that decoding never fails
// badly and that what is encoded decodes to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/shell_filter.h"
#include "shell/shell_id_list.h"
#include "shell/shell_text.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::vector<std::string> paths = shell::DecodeUriList(text);
  for (const std::string& p : paths) Check(!p.empty() && p[0] == '/' && p.find('\0') == std::string::npos);
  Check(shell::DecodeUriList(shell::EncodeUriList(paths)) == paths);
  Check(shell::PercentDecode(shell::PercentEncode(text)) == text);

  const size_t split = text.find('\n');
  const std::string_view mask = text.substr(0, split);
  const std::string_view name = split == std::string_view::npos ? std::string_view() : text.substr(split + 1);
  const bool matched = MatchesFilterMask(mask, name);
  // A mask made of the name's own bytes (without special characters) matches it.
  if (name.find_first_of("*?[") == std::string_view::npos) Check(MatchesFilterMask(name, name));
  TFilterMasks masks;
  masks.Set(mask);
  Check(!masks.Masks().empty());
  (void)matched;

  if (std::optional<TIDList> list = TIDList::FromBytes({data, size})) {
    const size_t n = list->Count();
    Check(list->Items().size() == n);
    for (size_t k = 0; k <= n; ++k) Check(list->Cut(k).Join(list->Skip(k)) == *list);
  }
  return 0;
}
