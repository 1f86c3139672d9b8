// Comma text and the sorted string list.

#include <gtest/gtest.h>

#include "app/comma_text.h"
#include "app/sorted_string_list.h"

using Strings = std::vector<std::string>;

TEST(CommaText, SplitsQuotedAndPlainItems) {
  EXPECT_EQ(SplitCommaText(""), Strings{});
  EXPECT_EQ(SplitCommaText("   "), Strings{});
  EXPECT_EQ(SplitCommaText("*.tif,*.jpg"), (Strings{"*.tif", "*.jpg"}));
  EXPECT_EQ(SplitCommaText(" \t*.tif , \n *.jpg  "), (Strings{"*.tif", "*.jpg"}));
  EXPECT_EQ(SplitCommaText("\"my file.jpg\",\"say \"\"hi\"\"\""),
            (Strings{"my file.jpg", "say \"hi\""}));
  EXPECT_EQ(SplitCommaText("a b"), (Strings{"a", "b"}));  // a blank ends an unquoted item
  EXPECT_EQ(SplitCommaText("a,"), (Strings{"a", ""}));
  EXPECT_EQ(SplitCommaText(","), (Strings{"", ""}));
  EXPECT_EQ(SplitCommaText(",a"), (Strings{"", "a"}));
  EXPECT_EQ(SplitCommaText("a,,b"), (Strings{"a", "", "b"}));
  EXPECT_EQ(SplitCommaText("\"a\"b,c"), (Strings{"a", "b", "c"}));
  EXPECT_EQ(SplitCommaText("\"open ended"), (Strings{"open ended"}));
  EXPECT_EQ(SplitCommaText("\"\""), (Strings{""}));
  EXPECT_EQ(SplitCommaText(std::string("a\0,b", 4)), (Strings{"a"}));
  EXPECT_EQ(SplitCommaText("\xc3\xa9t\xc3\xa9.jpg"), (Strings{"\xc3\xa9t\xc3\xa9.jpg"}));
}

TEST(CommaText, JoinsWithQuotingWhereNeededAndRoundTrips) {
  EXPECT_EQ(JoinCommaText({}), "");
  EXPECT_EQ(JoinCommaText({""}), "\"\"");
  EXPECT_EQ(JoinCommaText({"", ""}), ",");
  EXPECT_EQ(JoinCommaText({"*.tif", "*.jpg"}), "*.tif,*.jpg");
  EXPECT_EQ(JoinCommaText({"a b", "q\"r", "x,y", "t\tu"}),
            "\"a b\",\"q\"\"r\",\"x,y\",\"t\tu\"");
  Strings items = {"plain", "with blank", "quote\"d", "comma,", "", "last"};
  EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items);
}

TEST(SortedStringList, IgnoreCaseModeKeepsFirstOfCaseVariants) {
  TSortedStringList list;
  EXPECT_TRUE(list.Add("*.tif", 1));
  EXPECT_FALSE(list.Add("*.TIF", 2));
  EXPECT_TRUE(list.Add("*.BMP"));
  EXPECT_TRUE(list.Add("*.jpg"));
  EXPECT_EQ(list.ToVector(), (Strings{"*.BMP", "*.jpg", "*.tif"}));
  EXPECT_EQ(list.Data(2), 1u);
  EXPECT_EQ(list.IndexOf("*.Jpg"), 1);
  EXPECT_EQ(list.IndexOf("*.png"), -1);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_THROW(list.Delete(5), std::out_of_range);
  list.Clear();
  EXPECT_TRUE(list.Empty());
}

TEST(SortedStringList, ExactModeKeepsCaseVariantsInDeterministicOrder) {
  TSortedStringList list(TSortedStringList::TDuplicateMode::dmExact);
  for (const char* s : {"/d/b/1.jpg", "/d/A/2.jpg", "/d/a/2.jpg", "/d/B/1.jpg", "/d/a/2.jpg"}) {
    list.Add(s);
  }
  EXPECT_EQ(list.ToVector(),
            (Strings{"/d/A/2.jpg", "/d/a/2.jpg", "/d/B/1.jpg", "/d/b/1.jpg"}));
  EXPECT_EQ(list.IndexOf("/d/a/2.jpg"), 1);
  EXPECT_EQ(list.IndexOf("/D/A/2.JPG"), -1);
  int at = -1;
  EXPECT_FALSE(list.Add("/d/B/1.jpg", 0, &at));
  EXPECT_EQ(at, 2);
}
