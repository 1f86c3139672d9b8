// Streams: bounded reads, seeking, growth, file errors and file round trips.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "imaging/io/byte_reader.h"
#include "imaging/io/stream.h"

namespace fs = std::filesystem;

namespace {

class StreamFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vl_stream_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

}  // namespace

TEST(MemoryStreamTest, ReadsPastTheEndReturnFewerBytesAndSeekWorks) {
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  TMemoryStream s(data, sizeof data);
  uint8_t buf[8] = {};
  EXPECT_EQ(s.Seek(3, soBeginning), 3);
  EXPECT_EQ(s.Read(buf, 8), 2u);
  EXPECT_EQ(buf[0], 4);
  EXPECT_EQ(buf[1], 5);
  EXPECT_EQ(s.Read(buf, 8), 0u);
  // Past the end: allowed, reads nothing.
  EXPECT_EQ(s.Seek(100, soBeginning), 100);
  EXPECT_EQ(s.Read(buf, 1), 0u);
  // Negative targets are refused and keep the position.
  EXPECT_EQ(s.Seek(-1, soEnd), 4);
  EXPECT_EQ(s.Seek(-10, soCurrent), -1);
  EXPECT_EQ(s.Position(), 4);
  EXPECT_EQ(s.Seek(-2, soEnd), 3);
  // A wrapped buffer is read-only.
  EXPECT_EQ(s.Write(buf, 1), 0u);
  EXPECT_FALSE(s.SetSize(1));
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
}

TEST(MemoryStreamTest, GrowsOnWriteAndZeroFillsGaps) {
  TMemoryStream s;
  const uint8_t abc[3] = {'a', 'b', 'c'};
  EXPECT_EQ(s.Write(abc, 3), 3u);
  EXPECT_EQ(s.Size(), 3);
  s.Seek(10, soBeginning);
  s.WriteBuffer(abc, 3);
  ASSERT_EQ(s.Size(), 13);
  EXPECT_EQ(s.Memory()[5], 0);
  EXPECT_EQ(s.Memory()[12], 'c');
  std::vector<uint8_t> big(200000, 7);
  s.SetPosition(0);
  s.WriteBuffer(big.data(), big.size());
  EXPECT_EQ(s.Size(), 200000);
  EXPECT_TRUE(s.SetSize(4));
  EXPECT_EQ(s.Position(), 4);

  TMemoryStream copy;
  copy.LoadFromStream(s);
  EXPECT_EQ(copy.Length(), 4u);
  EXPECT_EQ(copy.Position(), 0);
}

TEST(ByteViewTest, ReadsAreBoundedAndFailurePersists) {
  const uint8_t data[5] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  TByteView v(data, sizeof data);
  EXPECT_EQ(v.get16be(), 0x1234);
  EXPECT_EQ(v.get16le(), 0x7856);
  EXPECT_FALSE(v.Failed());
  EXPECT_EQ(v.get32be(), 0u);  // only one byte left
  EXPECT_TRUE(v.Failed());
  EXPECT_EQ(v.get8(), 0);
  EXPECT_FALSE(v.Seek(6));
  EXPECT_TRUE(v.Seek(1));
  EXPECT_EQ(v.get32le(), 0x9A785634u);
  EXPECT_TRUE(v.Sub(4, 2).Length() == 0);

  TMemoryStream s(data, sizeof data);
  TStreamReader r(s);
  EXPECT_EQ(r.get32be(), 0x12345678u);
  EXPECT_FALSE(r.Failed());
  EXPECT_EQ(r.get16le(), 0);
  EXPECT_TRUE(r.Failed());
}

TEST_F(StreamFileTest, MissingFileRaisesWithThePathInTheMessage) {
  const std::string path = (dir_ / "no such file.tif").string();
  try {
    TFileStream f(path, fmOpenRead);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
  EXPECT_THROW(TFileStream((dir_ / "missing" / "x.jpg").string(), fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(dir_.string(), fmOpenRead), EFOpenError);
  // A FIFO named like an image is refused at once instead of waiting for a writer.
  const std::string fifo = (dir_ / "pipe.tif").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(TFileStream(fifo, fmOpenRead), EFOpenError);
}

TEST_F(StreamFileTest, WriteThenReadBack) {
  const std::string path = (dir_ / "out.bin").string();
  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(bytes.data(), bytes.size());
    EXPECT_EQ(f.Size(), 70000);
  }
  TFileStream f(path, fmOpenRead);
  EXPECT_EQ(f.Size(), 70000);
  std::vector<uint8_t> back(bytes.size() + 10);
  EXPECT_EQ(f.Read(back.data(), back.size()), bytes.size());
  back.resize(bytes.size());
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(f.Seek(-4, soEnd), 69996);
  uint8_t b = 0;
  f.ReadBuffer(&b, 1);
  EXPECT_EQ(b, bytes[69996]);
  // A reader cannot write.
  EXPECT_EQ(f.Write(&b, 1), 0u);
}

TEST_F(StreamFileTest, CreateNewNeverReplacesAndWritersExcludeReaders) {
  const std::string path = (dir_ / "keep.jpg").string();
  { std::ofstream(path) << "precious"; }
  EXPECT_THROW(TFileStream(path, fmCreateNew), EFCreateError);
  EXPECT_EQ(fs::file_size(path), 8u);

  {
    TFileStream reader(path, fmOpenRead);
    // While it is read, the file cannot be created over (and so is not truncated).
    EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
    EXPECT_EQ(fs::file_size(path), 8u);
    TFileStream second(path, fmOpenRead);  // readers share
  }
  {
    TFileStream writer(path, fmCreate);
    EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
  }
  EXPECT_EQ(fs::file_size(path), 0u);

  TFileStream fresh((dir_ / "new.bin").string(), fmCreateNew);
  EXPECT_EQ(fresh.Write("x", 1), 1u);
}
