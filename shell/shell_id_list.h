#pragma once
// Shell ID lists: the namespace's names for its objects. A list is a sequence of items, each
// led by a 16-bit little-endian byte count that includes the count itself, and ended by a zero
// count; the empty list (two zero bytes) names the desktop. Each of our items holds a kind
// byte followed by the item's name as raw bytes: a file's name exactly as the file system
// gives it (Linux names are bytes, and a name that is not valid UTF-8 must still name exactly
// its own file), a drive's root path, or a trash entry's path inside the trash.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class TShellItemKind : uint8_t {
  Computer = 1,    // the computer folder (a child of the desktop); no name
  Home = 2,        // the home folder (a child of the desktop); no name
  Trash = 3,       // the trash (a child of the desktop); no name
  Drive = 4,       // a drive of the computer folder; the name is its root path ending in '/'
  Folder = 5,      // a file-system folder; the name is its file name
  File = 6,        // any other file-system object; the name is its file name
  TrashEntry = 7,  // an entry of the trash; the name is its path in the trash's files folder
};

struct TShellItem {
  TShellItemKind Kind = TShellItemKind::File;
  std::string Name;
  bool IsFileSystem() const {
    return Kind == TShellItemKind::Folder || Kind == TShellItemKind::File;
  }
};

class TIDList {
 public:
  // The empty list: the desktop.
  TIDList();
  // Checks the counts of a list received as bytes: every item holds at least its count and a
  // kind byte and lies inside the bytes, and the list ends with a zero count.
  static std::optional<TIDList> FromBytes(std::span<const uint8_t> bytes);
  // A list of one item. Throws std::length_error for a name too long for one item.
  static TIDList Single(TShellItemKind kind, std::string_view name = {});

  const std::vector<uint8_t>& Bytes() const { return FBytes; }
  // Size in bytes: the sum of the item counts plus 2.
  size_t Size() const { return FBytes.size(); }
  size_t Count() const;
  bool IsEmpty() const { return FBytes.size() == 2; }
  // Item i (0 <= i < Count()).
  TShellItem Item(size_t i) const;
  std::vector<TShellItem> Items() const;
  TShellItem LastItem() const { return Item(Count() - 1); }

  // This list without its terminator followed by tail.
  TIDList Join(const TIDList& tail) const;
  // This list with one more item.
  TIDList Append(TShellItemKind kind, std::string_view name) const;
  // The first n items (all of them when n >= Count()).
  TIDList Cut(size_t n) const;
  // The last item as a list of its own; the empty list stays empty.
  TIDList Last() const;
  // The items after the first n, as a list of their own.
  TIDList Skip(size_t n) const;
  // All but the last item; the empty list stays empty.
  TIDList Parent() const { return Cut(Count() == 0 ? 0 : Count() - 1); }
  // True when this list is parent followed by exactly one more item.
  bool IsChildOf(const TIDList& parent) const;

  // Byte-for-byte identity. Two lists may name one object without being identical (see
  // CompareIDs of the shell services); use this for bookkeeping only.
  bool operator==(const TIDList& other) const = default;

 private:
  explicit TIDList(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}
  // Byte offset of the item after the first n items.
  size_t OffsetOf(size_t n) const;

  std::vector<uint8_t> FBytes;
};
