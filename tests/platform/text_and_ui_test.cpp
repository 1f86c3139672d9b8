// Locale comparison, ASCII upper-casing, process facts and the UI hooks.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/fs.h"
#include "platform/ui.h"

using namespace platform;

TEST(Text, CompareTextLocaleIgnoresCase) {
  EXPECT_EQ(CompareTextLocale("ABC.jpg", "abc.JPG"), 0);
  EXPECT_LT(CompareTextLocale("apple", "Banana"), 0);
  EXPECT_GT(CompareTextLocale("B", "a"), 0);
  EXPECT_LT(CompareTextLocale("", "a"), 0);
  EXPECT_EQ(CompareTextLocale("\xc3\x89t\xc3\xa9", "\xc3\xa9T\xc3\x89"), 0);  // Été, éTÉ
  // Paths sort by their text ignoring case: D:\a\2 before D:\B\1.
  std::vector<std::string> v = {"/d/B/1.jpg", "/d/a/2.jpg", "/d/C.jpg"};
  std::sort(v.begin(), v.end(),
            [](const std::string& a, const std::string& b) { return CompareTextLocale(a, b) < 0; });
  EXPECT_EQ(v, (std::vector<std::string>{"/d/a/2.jpg", "/d/B/1.jpg", "/d/C.jpg"}));
  // Malformed UTF-8 still compares consistently and differs from other text.
  EXPECT_NE(CompareTextLocale("a\xff", "a\xfe"), 0);
  EXPECT_EQ(CompareTextLocale("a\xff", "A\xff"), 0);
  EXPECT_EQ(UpperAscii("Vandrel \xc3\xa9t\xc3\xa9 photos"), "VANDREL \xc3\xa9T\xc3\xa9 PHOTOS");
}

TEST(Process, ClockAndMemory) {
  uint64_t a = TickCount();
  EXPECT_GE(TickCount(), a);
  EXPECT_GT(AvailablePhysicalMemory(), 0u);
}

TEST(UiHooks, InstalledHooksReplaceDefaultsAndCanBeRestored) {
  std::vector<std::string> log;
  UiHooks previous = SetUiHooks({[&] { log.push_back("pm"); },
                                 [&](const std::string& s) { log.push_back("msg:" + s); },
                                 nullptr});
  ProcessMessages();
  ShowMessage("hello");
  OpenFolder("/tmp");  // unset member: default, does nothing
  EXPECT_EQ(log, (std::vector<std::string>{"pm", "msg:hello"}));
  SetUiHooks(previous);
  ProcessMessages();
  EXPECT_EQ(log.size(), 2u);
  EXPECT_FALSE(CurrentUiHooks().ProcessMessages);
}

TEST(Process, HomeDirectoryFromTheEnvironmentOrTheUserDatabase) {
  const char* saved = std::getenv("HOME");
  const std::string old = saved ? saved : "";
  setenv("HOME", "/home/ann", 1);
  EXPECT_EQ(HomeDirectory(), "/home/ann/");
  setenv("HOME", "/home/ann/", 1);
  EXPECT_EQ(HomeDirectory(), "/home/ann/");
  // Without HOME (a service or a cron job) the user database still knows it.
  unsetenv("HOME");
  const passwd* pw = ::getpwuid(::getuid());
  const std::string fromDatabase = pw && pw->pw_dir && *pw->pw_dir ? pw->pw_dir : "/";
  EXPECT_EQ(HomeDirectory(), fromDatabase.back() == '/' ? fromDatabase : fromDatabase + "/");
  if (saved) setenv("HOME", old.c_str(), 1);
}
