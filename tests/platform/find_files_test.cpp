// Wildcard matching and the directory search with its attributes.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "platform/fs.h"
#include "tests/support/temp_folder.h"

using namespace platform;

TEST(Wildcard, MatchesLikeTheOriginalPlatform) {
  struct Case {
    const char* mask;
    const char* name;
    bool match;
  } cases[] = {
      {"*.jpg", "a.JPG", true},       {"*.JPG", "photo.jpg", true},
      // a.tiff's alias A~1.TIF matches "*.tif"; ".jpeg" answers to "*.jpg" by name.
      {"*.tif", "a.tiff", true},      {"*.jpg", "b.jpeg", true},      {"*.JPG", "B.JPEG", true},
      {"*.jpg", "b.jpegx", false},    {"*.jp?", "b.jpeg", true},
      {"*.jpe", "b.jpeg", true},      {"*.ti?", "a.tiff", true},
      {"*.tiff", "a.tif", false},     {"*.tif", "a.ti", false},
      {"*.tif", "a.tif.bak", false},  {"*.jpg", "jpg", false},
      {"a?c.bmp", "abc.bmp", true},   {"a?c.bmp", "ac.bmp", false},
      {"a?c.bmp", "a\xc3\xa9" "c.bmp", true},
      {"*.*", "README", true},        {"*.*", ".", true},
      {"*.*", "..", true},            {"*", "anything.x", true},
      {"x*y*z", "xaaybbz", true},     {"x*y*z", "xaaybb", false},
      {"", "a", false},               {"IMG_*.PNG", "img_0001.png", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesMask(c.mask, c.name), c.match) << c.mask << " vs " << c.name;
  }
}

TEST(FindFiles, ReportsAttributesSizesAndFollowsLinks) {
  TempFolder t;
  t.Write("plain.jpg", "12345");
  t.Write(".hidden.jpg", "ab");
  std::string ro = t.Write("readonly.jpg", "");
  ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
  t.Mkdir("sub.jpg");
  ASSERT_EQ(::mkfifo((t / "pipe.jpg").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("plain.jpg", (t / "link.jpg").c_str()), 0);
  t.Write("other.png");

  std::vector<FindEntry> found;
  ASSERT_TRUE(FindFiles(t / "*.JPG", found));
  std::map<std::string, FindEntry> byName;
  for (const FindEntry& e : found) byName[e.Name] = e;
  EXPECT_EQ(byName.size(), 6u);
  EXPECT_EQ(byName.count("other.png"), 0u);
  EXPECT_EQ(byName["plain.jpg"].Attr, 0u);
  EXPECT_EQ(byName["plain.jpg"].Size, 5u);
  EXPECT_EQ(byName[".hidden.jpg"].Attr, uint32_t{faHidden});
  EXPECT_EQ(byName["sub.jpg"].Attr, uint32_t{faDirectory});
  EXPECT_EQ(byName["sub.jpg"].Size, 0u);
  EXPECT_EQ(byName["pipe.jpg"].Attr, uint32_t{faSystem});
  EXPECT_EQ(byName["link.jpg"].Attr, 0u);
  EXPECT_EQ(byName["link.jpg"].Size, 5u);
  EXPECT_EQ(byName["readonly.jpg"].Attr, uint32_t{faReadOnly});

  ASSERT_TRUE(FindFiles(t / "*.*", found));
  auto has = [&](const char* n) {
    return std::any_of(found.begin(), found.end(), [&](const FindEntry& e) { return e.Name == n; });
  };
  EXPECT_TRUE(has(".") && has(".."));
  EXPECT_EQ(GetFileAttributes(t / "missing"), kInvalidAttributes);
  EXPECT_EQ(GetFileAttributes(t / ".hidden.jpg"), uint32_t{faHidden});
  EXPECT_TRUE(FileExists(t / "plain.jpg"));
  EXPECT_FALSE(FileExists(t / "sub.jpg"));
  EXPECT_TRUE(DirectoryExists(t / "sub.jpg"));
  EXPECT_FALSE(FindFiles(t / "nowhere/*.*", found));
  EXPECT_TRUE(found.empty());
}

TEST(FindFiles, SameFileIdThroughALink) {
  TempFolder t;
  t.Mkdir("real");
  ASSERT_EQ(::symlink("real", (t / "alias").c_str()), 0);
  auto a = GetFileId(t / "real");
  auto b = GetFileId(t / "alias/");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  EXPECT_FALSE(GetFileId(t / "none"));
}
