#include "pixels/image_rows.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pixels/pixel_decoder.h"
#include "tests/formats.h"

namespace velloran {
namespace {

namespace fs = std::filesystem;

// The rows each source gives at each offset, the source's end cutting them
// anywhere: the bytes it holds, zeros after (over a buffer that held other
// bytes), and for indexed formats the indices, packed as the format says.
TEST(ImageRows, EverySourceGivesTheSameRowsAndZerosPastItsEnd) {
  std::vector<unsigned char> rom(100);
  for (std::size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<unsigned char>(i * 37 + 11);
  std::string folder = (fs::temp_directory_path() / "velloran-rows-XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::string path = folder + "/rom.bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(rom.data()), 100);
  std::string whyNot;
  const FileHandle file = openForReading(path, whyNot);
  ASSERT_TRUE(file.isOpen()) << whyNot;

  const struct {
    const char* format;
    std::uint32_t columns;
    std::uint32_t rows;
  } cases[] = {{"bgr555le", 5, 2}, {"i2", 7, 3}, {"i4", 3, 1}, {"t4p", 8, 8}, {"t2p", 16, 8}, {"rgb24", 2, 2}};
  for (const auto& test : cases) {
    const PixelFormat format = formatNamed(test.format);
    const auto bytes = static_cast<std::size_t>(romBytesOf(format, test.columns, test.rows));
    for (std::uint64_t offset : {std::uint64_t{0}, std::uint64_t{40}, std::uint64_t{100 - bytes / 2}, std::uint64_t{99},
                                 std::uint64_t{100}, std::uint64_t{5000}}) {
      SCOPED_TRACE(std::string(test.format) + " at " + std::to_string(offset));
      std::vector<unsigned char> expected(bytes, 0);
      for (std::size_t i = 0; i < bytes && offset + i < rom.size(); ++i) expected[i] = rom[offset + i];
      const std::size_t held = offset < rom.size() ? std::min<std::size_t>(bytes, rom.size() - offset) : 0;
      std::vector<unsigned char> expectedIndices(std::size_t{test.columns} * test.rows);
      if (isIndexed(format)) unpackIndices(format, expected.data(), test.columns, test.rows, expectedIndices.data());

      const ByteSource sources[] = {romAtOffsets(file), bytesInMemory(rom.data(), rom.size())};
      for (const ByteSource& source : sources) {
        std::vector<unsigned char> raw(bytes, 0xEE);
        std::vector<unsigned char> indices(expectedIndices.size(), 0xEE);
        const ReadResult read = readImageRows(source, format, offset, test.columns, test.rows, raw.data(),
                                              isIndexed(format) ? indices.data() : nullptr);
        EXPECT_FALSE(read.failed);
        EXPECT_EQ(read.bytesRead, held);
        EXPECT_EQ(raw, expected);
        if (isIndexed(format)) {
          EXPECT_EQ(indices, expectedIndices);  // the unpacker's own checks are in pixel_conversion_test
        }
      }
    }
  }
  fs::remove_all(folder);
}

// Read in order, the source takes each read where the last one ended,
// whatever offset it is given: a pipe has no other.
TEST(ImageRows, InOrderReadsFollowOneAnother) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const unsigned char bytes[] = {1, 2, 3, 4, 5, 6, 7};
  ASSERT_EQ(write(ends[1], bytes, sizeof bytes), static_cast<ssize_t>(sizeof bytes));
  close(ends[1]);
  const FileHandle pipeEnd(ends[0], true);
  const ByteSource source = romInOrder(pipeEnd);
  const PixelFormat format = formatNamed("rgb24");
  std::vector<unsigned char> raw(6, 0xEE);
  EXPECT_EQ(readImageRows(source, format, 900, 1, 1, raw.data(), nullptr).bytesRead, 3u);
  EXPECT_EQ(readImageRows(source, format, 0, 2, 1, raw.data(), nullptr).bytesRead, 4u);
  EXPECT_EQ(raw, (std::vector<unsigned char>{4, 5, 6, 7, 0, 0}));
}

}  // namespace
}  // namespace velloran
