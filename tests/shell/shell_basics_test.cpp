// ID lists, the filter matcher, size texts, URI lists and path normalisation.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "shell/shell_filter.h"
#include "shell/shell_folder.h"
#include "shell/shell_id_list.h"
#include "shell/shell_services.h"
#include "shell/shell_text.h"

using K = TShellItemKind;

TEST(IDList, FormatJoinCutAndValidation) {
  const TIDList desktop;
  EXPECT_EQ(desktop.Bytes(), (std::vector<uint8_t>{0, 0}));
  const TIDList a = TIDList::Single(K::Computer).Append(K::Drive, "/d/");
  // Each item: a 16-bit count including itself, the kind byte, the name's bytes.
  EXPECT_EQ(a.Bytes(), (std::vector<uint8_t>{3, 0, 1, 6, 0, 4, '/', 'd', '/', 0, 0}));
  EXPECT_EQ(a.Size(), 11u);
  const TIDList b = TIDList::Single(K::Folder, "x").Append(K::File, std::string("y\xff", 2));
  const TIDList ab = a.Join(b);
  ASSERT_EQ(ab.Count(), 4u);
  EXPECT_EQ(ab.Item(3).Name, std::string("y\xff", 2));
  EXPECT_EQ(ab.Cut(2), a);
  EXPECT_EQ(ab.Skip(2), b);
  EXPECT_EQ(ab.Last(), TIDList::Single(K::File, std::string("y\xff", 2)));
  EXPECT_TRUE(ab.IsChildOf(ab.Parent()));
  EXPECT_FALSE(ab.IsChildOf(a));
  EXPECT_EQ(desktop.Parent(), desktop);
  EXPECT_EQ(TIDList::FromBytes(ab.Bytes()), ab);
  const std::vector<std::vector<uint8_t>> bad = {
      {}, {0}, {2, 0, 0, 0}, {9, 0, 5, 'a', 0, 0}, {3, 0, 5}, {4, 0, 5, 'a', 0}};
  for (const auto& bytes : bad) EXPECT_FALSE(TIDList::FromBytes(bytes)) << bytes.size();
}

TEST(FilterMask, MatchesWholeNamesWithSetsAndIgnoresAsciiCase) {
  struct Case {
    const char* Mask;
    std::string Name;
    bool Match;
  };
  const Case cases[] = {
      {"*.jpg", "a.jpg", true},      {"*.jpg", "a.JPG", true},     {"*.jpg", "a.jpeg", false},
      {"*.tif", "a.tiff", false},    {"*.jpg", "a.jpg.txt", false}, {"*", "", true},
      {"a?c", "abc", true},          {"a?c", "ac", false},         {"a?c", "a\xc3\xa9" "c", true},
      {"a?c", "a\xff" "c", true},    {"[a-c]*", "Bx", true},       {"[a-c]*", "dx", false},
      {"[!0-9]x", "ax", true},       {"[!0-9]x", "5x", false},     {"[]x]", "]", true},
      {"[ab", "[ab", true},          {"*[.]jpg", "a.jpg", true},   {"**a*", "bab", true},
      {"*a*b*c", "xaybzc", true},    {"*a*b*c", "xaybz", false},   {"photos.dat", "PHOTOS.DAT", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesFilterMask(c.Mask, c.Name), c.Match) << c.Mask << " / " << c.Name;
  }
  TFilterMasks masks;
  EXPECT_EQ(masks.Get(), "*");
  masks.Set("*.jpg; *.tif;;");
  EXPECT_EQ(masks.Get(), "*.jpg;*.tif");
  EXPECT_TRUE(masks.Matches("x.TIF"));
  EXPECT_FALSE(masks.Matches("x.png"));
  masks.Set("");
  EXPECT_EQ(masks.Get(), "*");
}

TEST(DetailTexts, SizesInKilobytesWith64Bits) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0 KB"},         {1, "1 KB"},
      {1023, "1 KB"},      {1535, "1 KB"},
      {1536, "2 KB"},      {1024 * 1000, "1,000 KB"},
      {5ull << 30, "5,242,880 KB"},
      {UINT64_MAX, "18,014,398,509,481,984 KB"},
  };
  for (const auto& [size, text] : cases) EXPECT_EQ(shell::SizeText(size), text) << size;
}

TEST(ShellText, UriListsCarryRawBytesAndSkipWhatIsNotLocal) {
  const std::vector<std::string> paths = {"/a b/c%d.jpg", std::string("/x/\xff\xfe.jpg")};
  const std::string list = shell::EncodeUriList(paths);
  EXPECT_EQ(list, "file:///a%20b/c%25d.jpg\r\nfile:///x/%FF%FE.jpg\r\n");
  EXPECT_EQ(shell::DecodeUriList(list), paths);
  EXPECT_EQ(shell::DecodeUriList("# comment\nhttp://x/y\nfile://host/z\nfile://localhost/ok\n"
                                 "file:/short\nfile:///bad%00nul\nfile:///%zz\n"),
            (std::vector<std::string>{"/ok", "/short", "/%zz"}));
}

TEST(ShellPaths, NormalisedAbsolutePathsOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"/", "/"},           {"//", "/"},        {"/a//b/", "/a/b"},  {"/a/./b/..", "/a"},
      {"/../..", "/"},      {"/a/../../b", "/b"}, {"a/b", ""},       {"", ""},
      {"./a", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(shell::NormalizePath(in), out) << in;
  EXPECT_EQ(shell::WithSlash("/a"), "/a/");
  EXPECT_EQ(shell::WithSlash("/"), "/");
  EXPECT_EQ(shell::WithSlash(""), "");
}
