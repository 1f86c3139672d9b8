// JPEG marker list and ICC profile holder.

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/model/icc.h"
#include "imaging/model/marker_list.h"

TEST(MarkerListTest, FindReplaceRemoveAndAssign) {
  TVLMarkerList l;
  const uint8_t a[] = {1, 2, 3}, b[] = {4, 5}, c[] = {6};
  EXPECT_EQ(l.FindType(0xE1), -1);
  l.AppendEntry(0xE0, a, 3);
  l.AppendEntry(0xE1, b, 2);
  l.AppendEntry(0xE1, c, 1);
  l.AppendEntry(0xFE, nullptr, 0);
  EXPECT_EQ(l.FindType(0xE1), 1);  // the first of several
  EXPECT_EQ(l.EntryLength(3), 0);

  EXPECT_TRUE(l.ReplaceEntry(1, 0xED, a, 3));
  EXPECT_EQ(l.EntryType(1), 0xED);
  EXPECT_EQ(l.FindType(0xE1), 2);
  // Replacing an entry with its own bytes is safe.
  EXPECT_TRUE(l.ReplaceEntry(1, 0xED, l.EntryData(1) + 1, 2));
  EXPECT_EQ(l.EntryData(1)[0], 2);
  EXPECT_EQ(l.EntryData(1)[1], 3);
  EXPECT_FALSE(l.ReplaceEntry(9, 0xE0, a, 3));

  l.RemoveEntry(0);
  l.RemoveEntry(42);  // out of range: nothing
  ASSERT_EQ(l.Count(), 3);
  EXPECT_EQ(l.EntryType(0), 0xED);

  TVLMarkerList copy;
  copy.AppendEntry(0xE5, a, 1);
  copy.Assign(l);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.EntryType(1), 0xE1);
  EXPECT_EQ(copy.EntryData(1)[0], 6);
  EXPECT_NE(copy.EntryData(1), l.EntryData(1));  // an own copy
  copy.Assign(nullptr);                          // no source: unchanged
  EXPECT_EQ(copy.Count(), 3);
  l.Clear();
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.EntryType(5), 0);
  EXPECT_EQ(copy.EntryData(-1), nullptr);

  // Data that no marker segment can hold is refused rather than cut.
  std::vector<uint8_t> tooBig(TVLMarkerList::kMaxMarkerData + 1);
  EXPECT_EQ(l.AppendEntry(0xE1, tooBig.data(), tooBig.size()), -1);
  EXPECT_EQ(l.AppendEntry(0xE1, tooBig.data(), tooBig.size() - 1), 0);
}

TEST(IccTest, HasOpenProfileOnlyForProfileLikeBytes) {
  std::vector<uint8_t> p(200, 0);
  p[0] = 0;
  p[1] = 0;
  p[2] = 0;
  p[3] = 200;
  std::memcpy(p.data() + 36, "acsp", 4);
  TVLICC icc;
  EXPECT_FALSE(icc.HasOpenProfile());
  icc.LoadProfileBytes(p.data(), p.size());
  EXPECT_TRUE(icc.HasOpenProfile());
  EXPECT_EQ(icc.RawLength(), 200u);

  TVLICC copy;
  copy.Assign(icc);
  EXPECT_TRUE(copy.HasOpenProfile());
  EXPECT_NE(copy.Raw(), icc.Raw());

  p[3] = 199;  // size field does not match
  icc.LoadProfileBytes(p.data(), p.size());
  EXPECT_FALSE(icc.HasOpenProfile());
  p[3] = 200;
  p[36] = 'x';  // no signature
  icc.LoadProfileBytes(p.data(), p.size());
  EXPECT_FALSE(icc.HasOpenProfile());
  icc.LoadProfileBytes(p.data(), 20);  // shorter than a header
  EXPECT_FALSE(icc.HasOpenProfile());
  EXPECT_EQ(icc.RawLength(), 20u);
  copy.Clear();
  EXPECT_FALSE(copy.HasOpenProfile());
  EXPECT_TRUE(copy.IsEmpty());
}
