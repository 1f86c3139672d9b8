// Failures around the JPEG library: its message texts, errors raised as EVLJpegException,
// stream exceptions carried across the library with their own type, short writes, and tables
// streams.

#include <jerror.h>

#include <stdexcept>

#include "imaging/codecs/jpeg/jpeg_glue.h"
#include "jpeg_test_support.h"

using namespace jpegtest;

namespace {

// A memory stream that raises std::domain_error once more than Limit bytes were read or
// written, or that silently accepts no more than Limit bytes.
class TFaultyStream : public TMemoryStream {
 public:
  enum TMode { Raise, ShortWrite };
  TFaultyStream(size_t Limit, TMode Mode) : FLimit(Limit), FMode(Mode) {}
  size_t Read(void* Buffer, size_t Count) override {
    if (FDone + Count > FLimit) throw std::domain_error("read failed");
    FDone += Count;
    return TMemoryStream::Read(Buffer, Count);
  }
  size_t Write(const void* Buffer, size_t Count) override {
    if (FDone + Count > FLimit) {
      if (FMode == Raise) throw std::domain_error("write failed");
      Count = FLimit - FDone;
    }
    FDone += Count;
    return TMemoryStream::Write(Buffer, Count);
  }

 private:
  size_t FLimit, FDone = 0;
  TMode FMode;
};

}  // namespace

TEST(JpegErrors, MessageTexts) {
  jpeg_error_mgr manager;
  jpeg_std_error(&manager);
  struct Case {
    int Code;
    const char* Text;
  } cases[] = {
      {JERR_ARITH_NOTIMPL, "Sorry, arithmetic coding is not implemented"},
      {JERR_IMAGE_TOO_BIG, "Maximum supported image dimension is ? pixels"},
      {JMSG_NOMESSAGE, "Bogus message code ?"},
      {JTRC_ADOBE, "Adobe APP14 marker: version ?, flags 0x? 0x?, transform ?"},
      {JTRC_SOF, "Start Of Frame 0x?: width=?, height=?, components=?"},
      {JWRN_HIT_MARKER, "Corrupt JPEG data: premature end of data segment"},
      {manager.last_jpeg_message + 1, "Corrupted"},
      {-1, "Corrupted"},
      {100000, "Corrupted"},
  };
  for (const Case& c : cases) EXPECT_EQ(JpegMessageText(manager, c.Code), c.Text) << c.Code;
}

// The writer lets library errors out as EVLJpegException with the message text, and stream
// exceptions with their own type; a stream that takes less than offered fails the write.
TEST(JpegErrors, WriterFailures) {
  TVLBitmap wide;
  wide.Allocate(65501, 1, vl24RGB);
  TIOParamsVals params;
  bool abort = false;
  TVLProgressState progress;
  progress.AbortFlag = &abort;
  TMemoryStream out;
  try {
    EncodeJpeg(out, wide, params, progress);
    ADD_FAILURE() << "no exception";
  } catch (const EVLJpegException& e) {
    EXPECT_STREQ(e.what(), "Maximum supported image dimension is ? pixels");
  }
  EXPECT_TRUE(abort);

  TVLBitmap photo;
  MakePhoto(photo, 300, 300);
  abort = false;
  TFaultyStream raising(1000, TFaultyStream::Raise);
  EXPECT_THROW(EncodeJpeg(raising, photo, params, progress), std::domain_error);
  EXPECT_TRUE(abort);

  abort = false;
  TFaultyStream shortWrites(100, TFaultyStream::ShortWrite);
  EncodeJpeg(shortWrites, photo, params, progress);
  EXPECT_TRUE(abort);
}

// The reader turns every failure into AbortFlag, except exceptions of a tables stream, which
// are failures of the environment; a tables stream with bad data is a bad file.
TEST(JpegErrors, ReaderFailures) {
  TVLBitmap photo;
  MakePhoto(photo, 300, 300);
  TIOParamsVals params;
  const std::vector<uint8_t> jpeg = Encode(photo, params);

  TFaultyStream raising(jpeg.size() / 2, TFaultyStream::Raise);
  raising.LoadFromBuffer(jpeg.data(), jpeg.size());
  auto d = Decode(raising);
  EXPECT_TRUE(d->Abort);

  TMemoryStream good(jpeg.data(), jpeg.size());
  TFaultyStream tables(10, TFaultyStream::Raise);
  tables.LoadFromBuffer(jpeg.data(), jpeg.size());
  TDecoded target;
  TVLProgressState progress;
  progress.AbortFlag = &target.Abort;
  EXPECT_THROW(DecodeJpeg(good, &tables, target.Bitmap, false, false, false, false, false,
                          progress, target.Params),
               std::domain_error);

  const char junk[] = "not a tables stream";
  TMemoryStream badTables(junk, sizeof junk);
  good.SetPosition(0);
  target.Abort = false;
  DecodeJpeg(good, &badTables, target.Bitmap, false, false, false, false, false, progress,
             target.Params);
  EXPECT_TRUE(target.Abort);
  EXPECT_TRUE(target.Bitmap.IsEmpty());
}

// An abbreviated image decodes with the tables of a separate tables-only stream.
TEST(JpegErrors, TablesStream) {
  TVLBitmap photo;
  MakePhoto(photo, 64, 48);
  TIOParamsVals params;
  const std::vector<uint8_t> full = Encode(photo, params);
  // Split the file: SOI + DQT + DHT + EOI as tables, SOI + the rest without them as image.
  std::vector<uint8_t> tables = {0xFF, 0xD8}, image = {0xFF, 0xD8};
  for (const TSegment& s : Segments(full)) {
    const auto from = full.begin() + std::ptrdiff_t(s.Offset);
    if (s.Marker == 0xDB || s.Marker == 0xC4)
      tables.insert(tables.end(), from, from + std::ptrdiff_t(s.Length + 4));
    else if (s.Marker == 0xDA)
      image.insert(image.end(), from, full.end());
    else
      image.insert(image.end(), from, from + std::ptrdiff_t(s.Length + 4));
  }
  tables.insert(tables.end(), {0xFF, 0xD9});
  TMemoryStream tablesStream(tables.data(), tables.size()), imageStream(image.data(), image.size());
  EXPECT_TRUE(Decode(imageStream)->Abort);  // no tables: a bad file
  imageStream.SetPosition(0);
  TDecoded d;
  TVLProgressState progress;
  progress.AbortFlag = &d.Abort;
  DecodeJpeg(imageStream, &tablesStream, d.Bitmap, false, false, false, false, false, progress,
             d.Params);
  EXPECT_FALSE(d.Abort);
  ASSERT_EQ(d.Bitmap.Width(), 64);
  EXPECT_TRUE(std::memcmp(d.Bitmap.Scanline(20), Decode(full)->Bitmap.Scanline(20), 64 * 3) == 0);
}

// A marker segment the library skips, with a length running past the data (found by
// fuzzing): the read fails and the stream stays within the data.
TEST(JpegErrors, SkipPastTheEndStopsAtTheEnd) {
  const uint8_t data[] = {0xFF, 0xD8, 0xFF, 0xDC, 0xFF, 0xF0, 1, 2, 3};
  TMemoryStream stream(data, sizeof data);
  EXPECT_TRUE(Decode(stream)->Abort);
  EXPECT_EQ(stream.Position(), int64_t(sizeof data));
}
