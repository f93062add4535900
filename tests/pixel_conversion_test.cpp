#include "snapshot/pixel_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/formats.h"

namespace velloran {
namespace {

// ROM words: red lives in bits 0-4, blue in bits 10-14.
constexpr std::uint16_t kRomRed = 0x001F;
constexpr std::uint16_t kRomBlue = 0x7C00;
// The same colours as a BMP stores them: red in bits 10-14, blue in bits 0-4.
constexpr std::uint16_t kBmpRed = 0x7C00;
constexpr std::uint16_t kBmpBlue = 0x001F;

std::uint16_t wordAt(const std::vector<unsigned char>& bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

void putWord(std::vector<unsigned char>& bytes, std::size_t offset, std::uint16_t word) {
  bytes[offset] = static_cast<unsigned char>(word & 0xFF);
  bytes[offset + 1] = static_cast<unsigned char>(word >> 8);
}

TEST(SwapRedBlue, ExchangesTheOuterFieldsOnly) {
  const struct {
    std::uint16_t rom;
    std::uint16_t bmp;
  } cases[] = {{0x001F, 0x7C00}, {0x7C00, 0x001F}, {0x03E0, 0x03E0}, {0x8000, 0x8000},
               {0xFFFF, 0xFFFF}, {0x1234, 0x5224}, {0x0000, 0x0000}, {0x8001, 0x8400}};
  for (const auto& c : cases) {
    EXPECT_EQ(swapRedBlue(c.rom), c.bmp) << std::hex << c.rom;
  }
}

// An "F" of ROM red on ROM blue, 5 wide and 7 high, bit 15 set on the F's
// top-left pixel: asymmetric both ways, so a row flip, a mirror or a field
// mix-up all show. Each row is checked at an odd and an even width.
const char* const kShape[] = {
    "FFFF.",
    "F....",
    "F....",
    "FFF..",
    "F....",
    "F....",
    ".....",
};

TEST(ConvertImage, DrawsTheShapeUpsideDownWithFieldsSwappedAndPaddingZeroed) {
  const std::uint32_t height = 7;
  for (const std::uint32_t width : {5u, 6u}) {
    std::vector<unsigned char> rom(width * height * 2);
    for (std::uint32_t y = 0; y < height; ++y) {
      for (std::uint32_t x = 0; x < width; ++x) {
        const bool inShape = x < 5 && kShape[y][x] == 'F';
        std::uint16_t word = inShape ? kRomRed : kRomBlue;
        if (x == 0 && y == 0) word |= 0x8000;
        putWord(rom, (y * width + x) * 2, word);
      }
    }
    const std::size_t rowBytes = 12;  // 10 or 12 pixel bytes, rounded up to 12
    // Garbage in the destination shows any byte the conversion fails to set.
    std::vector<unsigned char> bmp(rowBytes * height, 0xAA);
    convertImage(rom.data(), width * 2, width, height, bmp.data(), rowBytes);

    for (std::uint32_t y = 0; y < height; ++y) {
      const std::size_t bmpRow = (height - 1 - y) * rowBytes;
      for (std::uint32_t x = 0; x < width; ++x) {
        const bool inShape = x < 5 && kShape[y][x] == 'F';
        std::uint16_t expected = inShape ? kBmpRed : kBmpBlue;
        if (x == 0 && y == 0) expected |= 0x8000;
        EXPECT_EQ(wordAt(bmp, bmpRow + x * 2), expected) << "width " << width << " x " << x << " y " << y;
      }
      for (std::size_t pad = width * 2; pad < rowBytes; ++pad) {
        EXPECT_EQ(bmp[bmpRow + pad], 0) << "padding of row " << y << " at width " << width;
      }
    }
  }
}

TEST(ConvertImage, TwoByTwoSwapsRowOrder) {
  const std::uint16_t a = 0x0001, b = 0x0020, c = 0x0400, d = 0x8421;
  std::vector<unsigned char> rom(8);
  putWord(rom, 0, a);
  putWord(rom, 2, b);
  putWord(rom, 4, c);
  putWord(rom, 6, d);
  std::vector<unsigned char> bmp(8, 0xAA);
  convertImage(rom.data(), 4, 2, 2, bmp.data(), 4);
  EXPECT_EQ(wordAt(bmp, 0), swapRedBlue(c));
  EXPECT_EQ(wordAt(bmp, 2), swapRedBlue(d));
  EXPECT_EQ(wordAt(bmp, 4), swapRedBlue(a));
  EXPECT_EQ(wordAt(bmp, 6), swapRedBlue(b));
}

// Every width 0-9 by height 0-5, with guard bytes around the destination: each
// pixel lands in its mirrored row, padding is zero, nothing outside is touched.
TEST(ConvertImage, EverySmallSizeStaysInsideItsRows) {
  for (std::uint32_t width = 0; width <= 9; ++width) {
    for (std::uint32_t height = 0; height <= 5; ++height) {
      std::vector<unsigned char> rom(width * height * 2);
      for (std::size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<unsigned char>(i * 37 + 11);
      const std::size_t rowBytes = static_cast<std::size_t>(rowBytesFor(width));
      ASSERT_EQ(rowBytes % 4, 0u);
      ASSERT_GE(rowBytes, width * 2);
      ASSERT_LT(rowBytes, width * 2 + 4);
      const std::size_t guard = 8;
      std::vector<unsigned char> bmp(rowBytes * height + 2 * guard, 0xAA);
      convertImage(rom.data(), width * 2, width, height, bmp.data() + guard, rowBytes);
      for (std::size_t i = 0; i < guard; ++i) {
        ASSERT_EQ(bmp[i], 0xAA);
        ASSERT_EQ(bmp[bmp.size() - 1 - i], 0xAA);
      }
      for (std::uint32_t y = 0; y < height; ++y) {
        const std::size_t bmpRow = guard + (height - 1 - y) * rowBytes;
        for (std::uint32_t x = 0; x < width; ++x) {
          ASSERT_EQ(wordAt(bmp, bmpRow + x * 2), swapRedBlue(wordAt(rom, (y * width + x) * 2)))
              << width << "x" << height << " at " << x << "," << y;
        }
        for (std::size_t pad = width * 2; pad < rowBytes; ++pad) ASSERT_EQ(bmp[bmpRow + pad], 0);
      }
    }
  }
}

}  // namespace
}  // namespace velloran

namespace velloran {
namespace {

// Linear rows of every width from 1 to 40: unpacked and packed again, each
// row is the ROM's row, its last byte's unused bits zero; the rows never run
// into each other (each starts on a byte).
TEST(IndexedPixels, LinearRowsPackBackToTheRomsBytes) {
  for (const char* name : {"i1", "i2", "i4", "i8"}) {
    const PixelFormat format = formatNamed(name);
    const unsigned bits = format.indexBits;
    for (std::uint32_t width = 1; width <= 40; ++width) {
      const std::size_t rowBytes = (width * bits + 7) / 8;
      std::vector<unsigned char> raw(rowBytes * 3);
      for (std::size_t at = 0; at < raw.size(); ++at) raw[at] = static_cast<unsigned char>(at * 151 + width);
      std::vector<unsigned char> indices(std::size_t{width} * 3);
      unpackIndices(format, raw.data(), width, 3, indices.data());
      for (std::uint32_t row = 0; row < 3; ++row) {
        std::vector<unsigned char> packed(rowBytes);
        packIndices(indices.data() + std::size_t{width} * row, width, bits, packed.data());
        std::vector<unsigned char> expected(raw.begin() + static_cast<std::ptrdiff_t>(rowBytes * row),
                                            raw.begin() + static_cast<std::ptrdiff_t>(rowBytes * (row + 1)));
        const unsigned unused = static_cast<unsigned>(rowBytes * 8 - width * bits);
        expected.back() = static_cast<unsigned char>(expected.back() & (0xFFu << unused));
        EXPECT_EQ(packed, expected) << name << " width " << width << " row " << row;
      }
    }
  }
}

// One tile whose every index is its own position's low bits, in each
// planar layout: pixel (x, y) holds (x + 8 y) mod 2^bits.
TEST(IndexedPixels, PlanarTilesPutEachPlaneInItsBit) {
  for (const char* name : {"t1", "t2p", "t2s", "t4p", "t4b", "t4s", "t8p"}) {
    const PixelFormat format = formatNamed(name);
    const unsigned bits = format.indexBits;
    std::vector<unsigned char> tile(8 * bits, 0);
    for (unsigned y = 0; y < 8; ++y) {
      for (unsigned x = 0; x < 8; ++x) {
        const unsigned index = (x + 8 * y) & ((1u << bits) - 1);
        for (unsigned plane = 0; plane < bits; ++plane) {
          const unsigned at = format.planeOffset[plane] + y * format.planeRowStride;
          tile[at] = static_cast<unsigned char>(tile[at] | ((index >> plane) & 1u) << (7 - x));
        }
      }
    }
    std::vector<unsigned char> indices(64);
    unpackIndices(format, tile.data(), 8, 8, indices.data());
    for (unsigned at = 0; at < 64; ++at) EXPECT_EQ(indices[at], at & ((1u << bits) - 1)) << name << " pixel " << at;
  }
}

}  // namespace
}  // namespace velloran
