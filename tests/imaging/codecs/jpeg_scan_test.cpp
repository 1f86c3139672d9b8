// The marker walks: measuring JPEG data and gathering ICC profile chunks, on well-formed and
// crafted data.

#include "imaging/codecs/jpeg/jpeg_scan.h"
#include "jpeg_test_support.h"

using namespace jpegtest;

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Segment(uint8_t Marker, const TBytes& Data) {
  const size_t n = Data.size() + 2;
  TBytes out = {0xFF, Marker, uint8_t(n >> 8), uint8_t(n)};
  out.insert(out.end(), Data.begin(), Data.end());
  return out;
}
TBytes IccChunk(int Number, int Count, const TBytes& Body) {
  TBytes d = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, uint8_t(Number),
              uint8_t(Count)};
  d.insert(d.end(), Body.begin(), Body.end());
  return Segment(0xE2, d);
}
TBytes Join(std::initializer_list<TBytes> Parts) {
  TBytes out;
  for (const TBytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
TBytes WithoutLast(TBytes Bytes) {
  Bytes.pop_back();
  return Bytes;
}
const TBytes kSoi = {0xFF, 0xD8}, kEoi = {0xFF, 0xD9};

}  // namespace

TEST(JpegScan, MeasureJpegData) {
  const TBytes sos = Segment(0xDA, {1, 1, 0, 0, 63, 0});
  const TBytes entropy = {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56};  // stuffing, a restart
  struct Case {
    const char* What;
    TBytes Data;
    int64_t Length;
  } cases[] = {
      {"minimal", Join({kSoi, kEoi, {1, 2, 3}}), 4},
      {"segments and scan data", Join({kSoi, Segment(0xE0, {0xFF, 0xD9}), sos, entropy, kEoi}),
       2 + 6 + 10 + 7 + 2},
      {"fill bytes before the end", Join({kSoi, {0xFF, 0xFF, 0xFF, 0xD9}, {9}}), 6},
      {"no end: up to the data's end", Join({kSoi, sos, entropy}), 2 + 10 + 7},
      {"a length below 2 ends the walk", Join({kSoi, {0xFF, 0xE1, 0x00, 0x01}, kEoi}), 6},
      {"a length past the end stops there", Join({kSoi, {0xFF, 0xE1, 0xFF, 0xF0, 1, 2}}), 8},
  };
  for (const Case& c : cases) {
    TBytes data = Join({{7, 7, 7}, c.Data});  // measuring starts at the position
    TMemoryStream stream(data.data(), data.size());
    stream.SetPosition(3);
    EXPECT_EQ(MeasureJpegData(stream), c.Length) << c.What;
    EXPECT_EQ(stream.Position(), 3) << c.What;
  }
  if (HaveTestData()) {
    const TBytes file = ReadBytes(TestData("jpeg/icc_multichunk.jpg"));
    TMemoryStream stream(file.data(), file.size());
    EXPECT_EQ(MeasureJpegData(stream), int64_t(file.size()));
  }
}

TEST(JpegScan, IccChunks) {
  const TBytes a = {1, 2, 3}, b = {4, 5}, c = {6};
  struct Case {
    const char* What;
    TBytes Data;
    TBytes Profile;  // empty: none
  } cases[] = {
      {"one chunk", Join({kSoi, IccChunk(1, 1, a), kEoi}), a},
      {"chunks out of order", Join({kSoi, IccChunk(3, 3, c), IccChunk(1, 3, a),
                                    Segment(0xE1, {0}), IccChunk(2, 3, b), kEoi}),
       Join({a, b, c})},
      {"a chunk missing", Join({kSoi, IccChunk(1, 3, a), IccChunk(3, 3, c), kEoi}), {}},
      {"chunk 0 and chunks past the count are passed over",
       Join({kSoi, IccChunk(0, 2, c), IccChunk(3, 2, c), IccChunk(2, 2, b), IccChunk(1, 2, a),
             kEoi}),
       Join({a, b})},
      {"a repeated chunk and another count are passed over",
       Join({kSoi, IccChunk(1, 2, a), IccChunk(1, 2, c), IccChunk(2, 3, c), IccChunk(2, 2, b),
             kEoi}),
       Join({a, b})},
      {"a segment too short for the chunk header",
       Join({kSoi, Segment(0xE2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1}),
             IccChunk(1, 1, b), kEoi}),
       b},
      {"other APP2 data", Join({kSoi, Segment(0xE2, {'M', 'P', 'F', 0}), kEoi}), {}},
      {"a length below 2 ends the walk",
       Join({kSoi, {0xFF, 0xE2, 0x00, 0x00}, IccChunk(1, 1, a), kEoi}), {}},
      {"the end of image ends the walk", Join({kSoi, kEoi, IccChunk(1, 1, a)}), {}},
      {"data ending inside a chunk", WithoutLast(Join({kSoi, IccChunk(1, 1, a)})), {}},
  };
  for (const Case& k : cases) {
    TMemoryStream stream(k.Data.data(), k.Data.size());
    TBytes profile;
    EXPECT_EQ(ReadJpegIccProfile(stream, profile), !k.Profile.empty()) << k.What;
    EXPECT_EQ(profile, k.Profile) << k.What;
  }
}
