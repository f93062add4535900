#include "snapshot/snapshot_writer.h"

#include "snapshot/bmp_file.h"
#include "snapshot/image_size.h"
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

constexpr std::uint32_t kBmpHeaderBytes = 54;

ImageShape shape(std::uint32_t width, std::uint32_t height) {
  return shapeOf(width, height, defaultDecoder());
}

TEST(BmpHeaders, ThreeByTwoFieldByField) {
  unsigned char header[kBmpHeaderBytes];
  fillBmpHeaders(header, 3, 2, BmpPixels::rgb555);
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
  fillBmpHeaders(header, 0x10203, 0, BmpPixels::rgb555);  // width 66051, no rows: a 54-byte file
  EXPECT_EQ(header[2], 54);
  EXPECT_EQ(header[3], 0);
  EXPECT_EQ(header[18], 0x03);
  EXPECT_EQ(header[19], 0x02);
  EXPECT_EQ(header[20], 0x01);
  EXPECT_EQ(header[21], 0x00);
}

TEST(BmpFileSize, CountsPaddedRowsAndRefusesWhatTheHeaderCannotHold) {
  const struct {
    std::uint32_t width, height;
    bool fits;
    std::uint32_t size;
  } cases[] = {{4, 2, true, 70},          {3, 2, true, 70},          {0, 5, true, 54},
               {7, 0, true, 54},          {1, 1, true, 58},          {0xFFFFFFFFu, 2, false, 0},
               {2, 0xFFFFFFFFu, false, 0}, {1, 1073741823, false, 0}, {65536, 32767, true, 54 + 131072u * 32767u}};
  for (const auto& c : cases) {
    std::uint32_t size = 0;
    EXPECT_EQ(bmpFileSize(c.width, c.height, BmpPixels::rgb555, size), c.fits) << c.width << "x" << c.height;
    if (c.fits) {
      EXPECT_EQ(size, c.size) << c.width << "x" << c.height;
    }
  }
}

TEST(ImageSize, NamesTheLimitThatIsHit) {
  const struct {
    std::int32_t width, height;
    ImageSize size;
  } cases[] = {{64, 32, ImageSize::fits},
               {0, 2147483647, ImageSize::fits},
               {-1, 2, ImageSize::negative},
               {2, -1, ImageSize::negative},
               {65536, 16383, ImageSize::fits},             // 2^31 - 2^17 bytes of ROM
               {65536, 16384, ImageSize::rawTooLarge},      // 2^31 bytes, one too many
               {1, 1073741823, ImageSize::fileTooLarge},    // 2 GiB of ROM, but 4 bytes a row in the file
               {1, 1073741811, ImageSize::fileTooLarge},    // 54 + 4 x 1073741811 = 2^32 + 2
               {1, 1073741810, ImageSize::fits}};           // 54 + 4 x 1073741810 = 2^32 - 2
  for (const auto& c : cases) EXPECT_EQ(imageSize(c.width, c.height), c.size) << c.width << "x" << c.height;
}

// The blocks cover every pixel once, in ROM order, and stay within their buffer.
TEST(ImageBlocks, CoverTheImageInRomOrder) {
  const struct {
    std::uint32_t width, height;
  } cases[] = {{0, 0}, {0, 7}, {5, 0}, {1, 1}, {3, 2}, {64, 32}, {1001, 5000}, {2048, 4096}, {3000001, 2},
               {2097152, 1}, {2097153, 3}, {1, 3000000}};
  for (const auto& c : cases) {
    std::uint64_t rawBytes = 0;
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    std::size_t blocks = 0;
    ImageBlock block = firstBlock(shape(c.width, c.height));
    do {
      ++blocks;
      ASSERT_EQ(block.firstRow, row) << c.width << "x" << c.height;
      ASSERT_EQ(block.firstColumn, column) << c.width << "x" << c.height;
      ASSERT_TRUE(block.columnCount == c.width || block.rowCount == 1);
      ASSERT_LE(rawBytesOf(shape(c.width, c.height), block) + kBmpHeaderBytes, blockBufferBytes(shape(c.width, c.height)));
      ASSERT_LE(blockBufferBytes(shape(c.width, c.height)), kBlockBytes + kLargestBmpHeader);
      rawBytes += rawBytesOf(shape(c.width, c.height), block);
      column += block.columnCount;
      if (column == c.width || c.width == 0) {
        column = 0;
        row += block.rowCount;
      }
    } while (nextBlock(shape(c.width, c.height), block));
    EXPECT_EQ(rawBytes, std::uint64_t{c.width} * c.height * 2) << c.width << "x" << c.height;
    EXPECT_EQ(row, c.height) << c.width << "x" << c.height;
    if (c.width * std::uint64_t{c.height} <= 64 * 32) {
      EXPECT_EQ(blocks, 1u) << "a small image is one write";
    }
  }
}

class SnapshotWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velloran-writer-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    prefix_ = (dir_ / "").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes `raw` as the dump does, block by block in ROM order; the name used.
  std::string write(const std::vector<unsigned char>& raw, std::int32_t width, std::int32_t height,
                    std::int32_t& number) {
    SnapshotFile snapshot;
    TakenNumbers taken = listTakenNumbers(prefix_);
    EXPECT_EQ(createSnapshotFile(prefix_, number, taken, snapshot), CreateResult::created);
    const ImageShape image = shape(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    std::vector<unsigned char> buffer(blockBufferBytes(image));
    ImageBlock block = firstBlock(image);
    const unsigned char* at = raw.data();
    do {
      EXPECT_TRUE(writeSnapshotBlock(snapshot, planBmp(defaultFormat()), defaultDecoder(), image, block, at, false,
                                     buffer.data()));
      at += rawBytesOf(image, block);
    } while (nextBlock(image, block));
    EXPECT_TRUE(finishSnapshotFile(snapshot));
    return snapshot.name;
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
};

TEST_F(SnapshotWriterTest, FillsGapsAndSkipsEveryKindOfTakenName) {
  putFile(path("snap0000.bmp"), "keep me");
  fs::create_directory(path("snap0002.bmp"));
  ASSERT_EQ(mkfifo(path("snap0003.bmp").c_str(), 0644), 0);
  fs::create_symlink(path("nowhere"), path("snap0004.bmp"));
  putFile(path("snap0005.bmp"), "locked");
  fs::permissions(path("snap0005.bmp"), fs::perms::none);

  const std::vector<unsigned char> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::int32_t number = 0;
  EXPECT_EQ(write(pixels, 3, 2, number), path("snap0001.bmp"));
  EXPECT_EQ(number, 1);
  ++number;
  EXPECT_EQ(write(pixels, 3, 2, number), path("snap0006.bmp"));
  EXPECT_EQ(number, 6);

  EXPECT_EQ(contents(path("snap0000.bmp")), "keep me");
  EXPECT_TRUE(fs::is_fifo(path("snap0003.bmp")));
  EXPECT_TRUE(fs::is_symlink(path("snap0004.bmp")));
  EXPECT_FALSE(fs::exists(path("nowhere")));
  fs::permissions(path("snap0005.bmp"), fs::perms::owner_read);
  EXPECT_EQ(contents(path("snap0005.bmp")), "locked");
  EXPECT_EQ(fs::file_size(path("snap0006.bmp")), 70u);
}

TEST_F(SnapshotWriterTest, WritesHeadersThenBottomRowFirst) {
  std::int32_t number = 0;
  write({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 3, 2, number);
  const std::string file = contents(path("snap0000.bmp"));
  ASSERT_EQ(file.size(), 70u);
  unsigned char header[kBmpHeaderBytes];
  fillBmpHeaders(header, 3, 2, BmpPixels::rgb555);
  EXPECT_EQ(file.substr(0, 54), std::string(reinterpret_cast<char*>(header), 54));
  // ROM rows (0x0201 0x0403 0x0605) and (0x0807 0x0A09 0x0C0B), swapped and flipped.
  const unsigned char rows[16] = {0x02, 0x1C, 0x02, 0x26, 0x03, 0x2C, 0, 0,
                                  0x00, 0x06, 0x01, 0x0C, 0x01, 0x16, 0, 0};
  EXPECT_EQ(file.substr(54), std::string(reinterpret_cast<const char*>(rows), 16));
}

// The BMP a bgr555le image must give, made here from the file format alone:
// the headers field by field, then the rows bottom first, red and blue
// traded, each padded to four bytes.
std::string referenceBmp(const std::vector<unsigned char>& raw, std::uint32_t width, std::uint32_t height) {
  const std::uint32_t rowBytes = (width * 2 + 3) / 4 * 4;
  std::string file;
  const auto put = [&file](std::uint32_t value, int bytes) {
    for (int at = 0; at < bytes; ++at) file += static_cast<char>((value >> (8 * at)) & 0xFFu);
  };
  file += "BM";
  put(54 + rowBytes * height, 4);
  put(0, 4);
  put(54, 4);
  for (const std::uint32_t field : {40u, width, height}) put(field, 4);
  put(1, 2);
  put(16, 2);
  for (int field = 0; field < 6; ++field) put(0, 4);
  for (std::uint32_t row = height; row-- > 0;) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::size_t at = (std::size_t{row} * width + x) * 2;
      const std::uint32_t word = raw[at] | raw[at + 1] << 8;
      put((word & 0x83E0u) | (word & 0x1Fu) << 10 | (word >> 10 & 0x1Fu), 2);
    }
    put(0, static_cast<int>(rowBytes - width * 2));
  }
  return file;
}

// Big images go out in blocks, top rows first, each where it belongs in the
// file; the file must not show where one ended.
TEST_F(SnapshotWriterTest, BlocksJoinIntoTheSameFileAsOneConversion) {
  const struct {
    std::int32_t width, height;
  } cases[] = {{1001, 5000}, {2048, 1024}, {3000001, 2}, {0, 3}, {5, 0}};
  std::int32_t number = 0;
  for (const auto& c : cases) {
    std::vector<unsigned char> raw(std::size_t{2} * c.width * c.height);
    std::uint32_t state = 12345;
    for (auto& byte : raw) byte = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 24);
    const std::string expected =
        referenceBmp(raw, static_cast<std::uint32_t>(c.width), static_cast<std::uint32_t>(c.height));
    const std::string name = write(raw, c.width, c.height, number);
    ++number;
    EXPECT_TRUE(contents(name) == expected) << c.width << "x" << c.height;
  }
}

TEST_F(SnapshotWriterTest, GoesFromNineThousandNineHundredNinetyNineToFiveDigits) {
  putFile(path("snap9999.bmp"), "");
  std::int32_t number = 9999;
  EXPECT_EQ(write({1, 2}, 1, 1, number), path("snap10000.bmp"));
  EXPECT_EQ(number, 10000);
}

TEST_F(SnapshotWriterTest, ACreateThatFailsNamesTheNumberTriedAndADiscardLeavesNothing) {
  std::int32_t number = 3;
  SnapshotFile snapshot;
  TakenNumbers taken = listTakenNumbers(path("missing/"));
  EXPECT_FALSE(taken.listed);
  EXPECT_EQ(createSnapshotFile(path("missing/"), number, taken, snapshot), CreateResult::failed);
  EXPECT_EQ(snapshot.name, path("missing/snap0003.bmp"));
  EXPECT_EQ(number, 3);

  taken = listTakenNumbers(prefix_);
  ASSERT_EQ(createSnapshotFile(prefix_, number, taken, snapshot), CreateResult::created);
  EXPECT_TRUE(fs::exists(snapshot.name));
  EXPECT_TRUE(discardSnapshotFile(snapshot));
  EXPECT_TRUE(fs::is_empty(dir_));
}

// Exactly the names snapshotName gives for the prefix count; the listing
// only says where to begin, the exclusive create still decides.
TEST_F(SnapshotWriterTest, TheListingTakesExactlyTheNamesOfThisPrefix) {
  for (const char* name : {"snap0000.bmp", "snap0001.bmp", "snap0003.bmp", "snap10000.bmp", "snap2147483647.bmp",
                           "snap123.bmp", "snap00002.bmp", "Snap0002.bmp", "snap0002.BMP", "snap0002.bmp.txt",
                           "xsnap0002.bmp", "snap00004.bmp", "snap2147483648.bmp", "snap-002.bmp", "x-snap0002.bmp"}) {
    putFile(path(name), "");
  }
  const TakenNumbers taken = listTakenNumbers(prefix_);
  EXPECT_TRUE(taken.listed);
  EXPECT_EQ(taken.numbers, (std::vector<std::int32_t>{0, 1, 3, 10000, 2147483647}));
  EXPECT_EQ(listTakenNumbers(prefix_ + "x-").numbers, std::vector<std::int32_t>{2});

  std::int32_t number = 0;
  EXPECT_EQ(write({1, 2}, 1, 1, number), path("snap0002.bmp"));
  ++number;
  EXPECT_EQ(write({1, 2}, 1, 1, number), path("snap0004.bmp"));
}

TEST_F(SnapshotWriterTest, ANameThatAppearsAfterTheListingIsStillSkipped) {
  putFile(path("snap0000.bmp"), "listed");
  TakenNumbers taken = listTakenNumbers(prefix_);
  putFile(path("snap0001.bmp"), "came later");
  std::int32_t number = 0;
  SnapshotFile snapshot;
  ASSERT_EQ(createSnapshotFile(prefix_, number, taken, snapshot), CreateResult::created);
  EXPECT_EQ(snapshot.name, path("snap0002.bmp"));
  EXPECT_TRUE(finishSnapshotFile(snapshot));
  EXPECT_EQ(contents(path("snap0001.bmp")), "came later");
}

}  // namespace
}  // namespace velloran
