#include "snapshot/snapshot_writer.h"

#include "snapshot/pixel_conversion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velloran {
namespace {

namespace fs = std::filesystem;

TEST(SnapshotName, PadsToFourDigitsAndNeverTruncates) {
  const struct {
    const char* prefix;
    std::int32_t number;
    const char* name;
  } cases[] = {{"", 0, "snap0000.bmp"},          {"out/", 7, "out/snap0007.bmp"},
               {"out", 42, "outsnap0042.bmp"},   {"", 9999, "snap9999.bmp"},
               {"", 123, "snap0123.bmp"},        {"", 999, "snap0999.bmp"},
               {"", 10000, "snap10000.bmp"},     {"C:\\d\\", 123456, "C:\\d\\snap123456.bmp"}};
  for (const auto& c : cases) EXPECT_EQ(snapshotName(c.prefix, c.number), c.name);
  const std::string longPrefix(255, 'p');
  EXPECT_EQ(snapshotName(longPrefix, 1), longPrefix + "snap0001.bmp");
}

TEST(BmpHeaders, ThreeByTwoFieldByField) {
  unsigned char header[kBmpHeaderBytes];
  fillBmpHeaders(header, 3, 2);
  const unsigned char expected[kBmpHeaderBytes] = {
      'B', 'M', 70, 0, 0, 0,  // bfType, bfSize = 54 + 8 * 2
      0, 0, 0, 0,             // bfReserved1, bfReserved2
      54, 0, 0, 0,            // bfOffBits
      40, 0, 0, 0,            // biSize
      3, 0, 0, 0,             // biWidth
      2, 0, 0, 0,             // biHeight: positive, bottom row first
      1, 0, 16, 0,            // biPlanes, biBitCount
      0, 0, 0, 0,             // biCompression: BI_RGB
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<unsigned char>(header, header + kBmpHeaderBytes),
            std::vector<unsigned char>(expected, expected + kBmpHeaderBytes));
}

TEST(BmpHeaders, LargeValuesAreLittleEndian) {
  unsigned char header[kBmpHeaderBytes];
  fillBmpHeaders(header, 0x10203, 0);  // width 66051, no rows: a 54-byte file
  EXPECT_EQ(header[2], 54);
  EXPECT_EQ(header[3], 0);
  EXPECT_EQ(header[18], 0x03);
  EXPECT_EQ(header[19], 0x02);
  EXPECT_EQ(header[20], 0x01);
  EXPECT_EQ(header[21], 0x00);
}

TEST(BmpFileSize, CountsPaddedRowsAndRefusesWhatTheHeaderCannotHold) {
  const struct {
    std::int32_t width, height;
    bool fits;
    std::uint32_t size;
  } cases[] = {{4, 2, true, 70},   {3, 2, true, 70},        {0, 5, true, 54},
               {7, 0, true, 54},   {1, 1, true, 58},        {-1, 2, false, 0},
               {2, -1, false, 0},  {1, 1073741823, false, 0}, {65536, 32767, true, 54 + 131072u * 32767u}};
  for (const auto& c : cases) {
    std::uint32_t size = 0;
    EXPECT_EQ(bmpFileSize(c.width, c.height, size), c.fits) << c.width << "x" << c.height;
    if (c.fits) {
      EXPECT_EQ(size, c.size) << c.width << "x" << c.height;
    }
  }
}

class WriteSnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velloran-writer-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    prefix_ = (dir_ / "").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes a 3x2 snapshot and returns what it printed.
  std::string write(std::int32_t& number, std::int32_t bitsPerPixel = 16, std::string prefix = "") {
    const unsigned char pixels[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ::testing::internal::CaptureStdout();
    lastResult_ = writeSnapshot(pixels, 6, bitsPerPixel, 3, 2, prefix.empty() ? prefix_ : prefix, number);
    return ::testing::internal::GetCapturedStdout();
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  static std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  static void putFile(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }

  fs::path dir_;
  std::string prefix_;
  SnapshotResult lastResult_ = SnapshotResult::failed;
};

TEST_F(WriteSnapshotTest, FillsGapsAndSkipsEveryKindOfTakenName) {
  putFile(path("snap0000.bmp"), "keep me");
  fs::create_directory(path("snap0002.bmp"));
  ASSERT_EQ(mkfifo(path("snap0003.bmp").c_str(), 0644), 0);
  fs::create_symlink(path("nowhere"), path("snap0004.bmp"));
  putFile(path("snap0005.bmp"), "locked");
  fs::permissions(path("snap0005.bmp"), fs::perms::none);

  std::int32_t number = 0;
  EXPECT_EQ(write(number), "\nOpening: " + path("snap0001.bmp"));
  EXPECT_EQ(lastResult_, SnapshotResult::written);
  EXPECT_EQ(number, 2);
  EXPECT_EQ(write(number), "\nOpening: " + path("snap0006.bmp"));
  EXPECT_EQ(number, 7);

  EXPECT_EQ(contents(path("snap0000.bmp")), "keep me");
  EXPECT_TRUE(fs::is_fifo(path("snap0003.bmp")));
  EXPECT_TRUE(fs::is_symlink(path("snap0004.bmp")));
  EXPECT_FALSE(fs::exists(path("nowhere")));
  fs::permissions(path("snap0005.bmp"), fs::perms::owner_read);
  EXPECT_EQ(contents(path("snap0005.bmp")), "locked");
  EXPECT_EQ(fs::file_size(path("snap0006.bmp")), 70u);
}

TEST_F(WriteSnapshotTest, WritesHeadersThenBottomRowFirst) {
  std::int32_t number = 0;
  write(number);
  const std::string file = contents(path("snap0000.bmp"));
  ASSERT_EQ(file.size(), 70u);
  unsigned char header[kBmpHeaderBytes];
  fillBmpHeaders(header, 3, 2);
  EXPECT_EQ(file.substr(0, 54), std::string(reinterpret_cast<char*>(header), 54));
  // ROM rows (0x0201 0x0403 0x0605) and (0x0807 0x0A09 0x0C0B), swapped and flipped.
  const unsigned char rows[16] = {0x02, 0x1C, 0x02, 0x26, 0x03, 0x2C, 0, 0,
                                  0x00, 0x06, 0x01, 0x0C, 0x01, 0x16, 0, 0};
  EXPECT_EQ(file.substr(54), std::string(reinterpret_cast<const char*>(rows), 16));
}

// Big images go out in blocks of rows; the file must not show where one ended.
TEST_F(WriteSnapshotTest, BlocksOfRowsJoinIntoTheSameFileAsOneConversion) {
  const struct {
    std::int32_t width, height;
  } cases[] = {{1001, 5000}, {2048, 1024}, {3000001, 2}};
  std::int32_t number = 0;
  for (const auto& c : cases) {
    std::vector<unsigned char> raw(std::size_t{2} * c.width * c.height);
    std::uint32_t state = 12345;
    for (auto& byte : raw) byte = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 24);
    std::uint32_t fileSize = 0;
    ASSERT_TRUE(bmpFileSize(c.width, c.height, fileSize));
    std::string expected(fileSize, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(expected.data());
    fillBmpHeaders(bytes, c.width, c.height);
    convertImage(raw.data(), std::size_t{2} * c.width, c.width, c.height, bytes + kBmpHeaderBytes,
                 rowBytesFor(c.width));

    const std::string name = snapshotName(prefix_, number);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(writeSnapshot(raw.data(), 2 * c.width, 16, c.width, c.height, prefix_, number),
              SnapshotResult::written);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\nOpening: " + name);
    EXPECT_TRUE(contents(name) == expected) << c.width << "x" << c.height;
  }
}

TEST_F(WriteSnapshotTest, GoesFromNineThousandNineHundredNinetyNineToFiveDigits) {
  putFile(path("snap9999.bmp"), "");
  std::int32_t number = 9999;
  EXPECT_EQ(write(number), "\nOpening: " + path("snap10000.bmp"));
  EXPECT_EQ(number, 10001);
}

TEST_F(WriteSnapshotTest, FailureLeavesNoFileAndTheNumberUnchanged) {
  std::int32_t number = 3;
  const std::string missingDir = path("missing/");
  EXPECT_EQ(write(number, 16, missingDir), "\nOpening: " + missingDir + "snap0003.bmp\nUnable to write to file");
  EXPECT_EQ(lastResult_, SnapshotResult::failed);
  EXPECT_EQ(number, 3);

  EXPECT_EQ(write(number, 8), "\nOpening: " + path("snap0003.bmp") + "\nOnly 16-bit snapshots can be written");
  EXPECT_EQ(lastResult_, SnapshotResult::failed);
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace velloran
