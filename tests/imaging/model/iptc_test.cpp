// IPTC records: encoding with and without the Photoshop header and bounded decoding.

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <string>

#include "imaging/model/iptc.h"

namespace {

void Add(TVLIPTCInfoList& l, uint8_t rec, uint8_t ds, const std::string& text) {
  l.AppendRecord(rec, ds, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string Text(const TVLIPTCInfoList& l, int i) {
  const auto& d = l.Item(i).Data;
  return std::string(d.begin(), d.end());
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

}  // namespace

TEST(IptcTest, PhotoshopBlockRoundTripsAndSkipsVersionRecords) {
  TVLIPTCInfoList l;
  EXPECT_TRUE(l.EncodeRecords(true).empty());  // empty list: no bytes at all
  l.AppendRecord(2, 0, reinterpret_cast<const uint8_t*>("\x00\x02"), 2);  // never written
  Add(l, 2, 120, "Caption");                   // 12 + 13 bytes: padding needed
  Add(l, 2, 25, "keywords");
  Add(l, 2, 26, "");                           // empty records are left out
  EXPECT_TRUE(l.EditedSinceRead());

  const std::vector<uint8_t> block = l.EncodeRecords(true);
  ASSERT_GE(block.size(), 26u);
  EXPECT_EQ(std::memcmp(block.data(), "Photoshop 3.0\0008BIM\x04\x04\0\0", 22), 0);
  const uint32_t resource = Be32(block, 22);
  EXPECT_EQ(resource, 2u * 5 + 7 + 8);  // two records of 5 header bytes plus data
  EXPECT_EQ(block.size() % 2, 0u);
  EXPECT_EQ(block.size(), 26u + resource + 1);  // padded
  EXPECT_EQ(block.back(), 0);

  TVLIPTCInfoList back;
  back.DecodeRecords(block.data(), block.size());
  EXPECT_FALSE(back.EditedSinceRead());
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Item(0).Dataset, 120);
  EXPECT_EQ(Text(back, 0), "Caption");
  EXPECT_EQ(back.Item(1).Record, 2);
  EXPECT_EQ(Text(back, 1), "keywords");
  EXPECT_EQ(back.IndexOf(2, 0), -1);
}

TEST(IptcTest, TiffBlockStartsWithVersionRecordAndRoundTrips) {
  TVLIPTCInfoList l;
  Add(l, 2, 5, "Title!");  // 7 + 5 + 6 = 18 bytes: even, no padding
  const std::vector<uint8_t> block = l.EncodeRecords(false);
  const std::vector<uint8_t> head = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
  ASSERT_EQ(block.size(), 18u);
  EXPECT_TRUE(std::equal(head.begin(), head.end(), block.begin()));

  TVLIPTCInfoList back;
  back.DecodeRecords(block.data(), block.size());
  // The version record is read like any other record.
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.Item(0).Dataset, 0);
  EXPECT_EQ(Text(back, 1), "Title!");
  // Encoding it again leaves the version record out of the body: same bytes.
  EXPECT_EQ(back.EncodeRecords(false), block);
}

TEST(IptcTest, LargeRecordUsesExtendedLength) {
  TVLIPTCInfoList l;
  std::vector<uint8_t> big(40000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i);
  l.AppendRecord(2, 202, big.data(), big.size());
  const std::vector<uint8_t> block = l.EncodeRecords(true);
  ASSERT_GE(block.size(), 26u + 9);
  EXPECT_EQ(block[26], 0x1C);
  EXPECT_EQ(block[29], 0x80);
  EXPECT_EQ(block[30], 0x04);
  EXPECT_EQ(Be32(block, 31), 40000u);
  EXPECT_EQ(Be32(block, 22), 40009u);

  TVLIPTCInfoList back;
  back.DecodeRecords(block.data(), block.size());
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.Item(0).Data, big);
}

TEST(IptcTest, DecodingIsBoundedByTheData) {
  TVLIPTCInfoList l;
  const uint8_t noTag[] = {'8', 'B', 'I', 'M', 0, 1, 2, 3, 4, 5, 6};
  Add(l, 2, 5, "x");
  l.DecodeRecords(noTag, sizeof noTag);
  EXPECT_EQ(l.Count(), 0);
  EXPECT_FALSE(l.EditedSinceRead());

  // One good record, then one whose length runs past the end: decoding stops after the first.
  const uint8_t truncated[] = {0x1C, 2, 5, 0, 2, 'a', 'b', 0x1C, 2, 6, 0, 50, 'c', 'd'};
  l.DecodeRecords(truncated, sizeof truncated);
  ASSERT_EQ(l.Count(), 1);
  EXPECT_EQ(Text(l, 0), "ab");

  // An extended length whose four bytes are cut off, and one claiming 4 GB.
  const uint8_t cutExt[] = {0x1C, 2, 5, 0x80, 0x04, 0x00};
  l.DecodeRecords(cutExt, sizeof cutExt);
  EXPECT_EQ(l.Count(), 0);
  const uint8_t hugeExt[] = {0x1C, 2, 5, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2};
  l.DecodeRecords(hugeExt, sizeof hugeExt);
  EXPECT_EQ(l.Count(), 0);

  // Decoding stops at the first byte that is not 0x1C.
  const uint8_t stop[] = {0x1C, 2, 5, 0, 1, 'z', 0x00, 0x1C, 2, 6, 0, 1, 'y'};
  l.DecodeRecords(stop, sizeof stop);
  EXPECT_EQ(l.Count(), 1);
  l.DecodeRecords(nullptr, 10);
  EXPECT_EQ(l.Count(), 0);
}

TEST(IptcTest, EditingOperationsSetTheEditedFlagAndAssignCopies) {
  TVLIPTCInfoList a;
  a.DecodeRecords(nullptr, 0);
  EXPECT_FALSE(a.EditedSinceRead());
  a.Clear();
  EXPECT_TRUE(a.EditedSinceRead());
  Add(a, 2, 80, "me");
  TVLIPTCInfoList b;
  b.DecodeRecords(nullptr, 0);
  b.Assign(a);
  EXPECT_TRUE(b.EditedSinceRead());
  a.Clear();
  ASSERT_EQ(b.Count(), 1);
  EXPECT_EQ(Text(b, 0), "me");
}

TEST(IptcTest, PhotoshopBlocksAreReadFromTheirIptcResource) {
  // 5 + 23 = 28 record bytes: the resource size field ends in 0x1C, which must not be taken
  // for the first record's tag.
  TVLIPTCInfoList l;
  Add(l, 2, 120, std::string(23, 'c'));
  const std::vector<uint8_t> block = l.EncodeRecords(true);
  ASSERT_EQ(Be32(block, 22), 0x1Cu);
  TVLIPTCInfoList back;
  back.DecodeRecords(block.data(), block.size());
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.Item(0).Dataset, 120);
  EXPECT_EQ(Text(back, 0), std::string(23, 'c'));

  // Another resource ahead of the IPTC one (with 0x1C bytes in it and an odd size, padded)
  // is stepped over.
  const uint8_t other[] = {'8', 'B', 'I', 'M', 0x03, 0xED, 0, 0, 0, 0, 0, 3, 0x1C, 0x1C, 0x1C, 0};
  std::vector<uint8_t> ps(block.size() + sizeof other);
  // "Photoshop 3.0" and 0, the other resource, then the rest of the block.
  auto at = std::copy(block.begin(), block.begin() + 14, ps.begin());
  at = std::copy(other, other + sizeof other, at);
  std::copy(block.begin() + 14, block.end(), at);
  back.DecodeRecords(ps.data(), ps.size());
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(Text(back, 0), std::string(23, 'c'));

  // A Photoshop block without IPTC resource holds no records; one whose resources run past
  // the end stops there.
  std::vector<uint8_t> none(ps.begin(), ps.begin() + 14 + sizeof other);
  back.DecodeRecords(none.data(), none.size());
  EXPECT_EQ(back.Count(), 0);
  std::vector<uint8_t> cut(ps.begin(), ps.begin() + 14 + 8);
  back.DecodeRecords(cut.data(), cut.size());
  EXPECT_EQ(back.Count(), 0);
}
