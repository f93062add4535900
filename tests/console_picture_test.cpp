#include "console/console_picture.h"
#include "pixels/pixel_format.h"
#include "tests/formats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velloran {
namespace {

struct Rgb {
  int red, green, blue;
  bool operator==(const Rgb& other) const {
    return red == other.red && green == other.green && blue == other.blue;
  }
};

std::ostream& operator<<(std::ostream& out, const Rgb& colour) {
  return out << "(" << colour.red << "," << colour.green << "," << colour.blue << ")";
}

// A raw image: little-endian ROM words, top row first.
struct RawImage {
  std::uint32_t width;
  std::uint32_t height;
  std::vector<unsigned char> bytes;
};

RawImage rawImage(std::uint32_t width, std::uint32_t height, const std::vector<std::uint16_t>& words) {
  RawImage image{width, height, {}};
  for (const std::uint16_t word : words) {
    image.bytes.push_back(static_cast<unsigned char>(word & 0xFF));
    image.bytes.push_back(static_cast<unsigned char>(word >> 8));
  }
  return image;
}

std::string drawn(const RawImage& image, PictureBounds bounds) {
  return pictureText(image.bytes.data(), image.width * 2, image.width, image.height, bounds);
}

constexpr std::uint16_t romWord(unsigned red, unsigned green, unsigned blue) {
  return static_cast<std::uint16_t>(red | (green << 5) | (blue << 10));
}

// Reads a picture back into its pixel rows: a line's foreground colours are
// one row, its background colours (when it sets them) the next. Fails the
// test on anything but the cell and line layout the picture must have.
std::vector<std::vector<Rgb>> pixelRowsOf(const std::string& text) {
  std::vector<std::vector<Rgb>> rows;
  std::size_t at = 0;
  bool broken = false;
  const auto expect = [&](const std::string& part) {
    broken = broken || text.compare(at, part.size(), part) != 0;
    EXPECT_FALSE(broken) << "wanted " << part << " at " << at;
    at += part.size();
  };
  const auto colour = [&](const std::string& layer) {
    expect("\x1B[" + layer + ";2;");
    Rgb rgb{};
    int* fields[] = {&rgb.red, &rgb.green, &rgb.blue};
    for (int* field : fields) {
      const std::size_t end = text.find_first_of(";m", at);
      *field = std::stoi(text.substr(at, end - at));
      at = end + 1;
    }
    return rgb;
  };
  while (at < text.size() && !broken) {
    expect("\n");
    std::vector<Rgb> upper;
    std::vector<Rgb> lower;
    while (text.compare(at, 4, "\x1B[0m") != 0 && !broken) {
      upper.push_back(colour("38"));
      if (text.compare(at, 4, "\x1B[48") == 0) lower.push_back(colour("48"));
      expect("\xE2\x96\x80");
    }
    expect("\x1B[0m");
    // Every cell of a line has a background, or none has.
    EXPECT_TRUE(lower.empty() || lower.size() == upper.size());
    rows.push_back(upper);
    if (!lower.empty()) rows.push_back(lower);
  }
  return rows;
}

// The exact bytes: colours in every field, bit 15 set on one red pixel, and
// the widening (v << 3) | (v >> 2) at 0, 1-4, 8, 12, 16 and 31.
TEST(PictureText, DrawsAFourByFourImageAsTwoLinesOfCells) {
  const RawImage image = rawImage(4, 4,
                                  {0x0000, 0x7FFF, 0x001F, 0x7C00,  //
                                   0x03E0, 0x801F, 0x4210, 0x0C41,  //
                                   0x3104, 0x3104, 0x7FFF, 0x0000,  //
                                   0x0000, 0x7C1F, 0x03FF, 0x7FE0});
  const std::string expected =
      "\n"
      "\x1B[38;2;0;0;0m\x1B[48;2;0;255;0m\xE2\x96\x80"
      "\x1B[38;2;255;255;255m\x1B[48;2;255;0;0m\xE2\x96\x80"
      "\x1B[38;2;255;0;0m\x1B[48;2;132;132;132m\xE2\x96\x80"
      "\x1B[38;2;0;0;255m\x1B[48;2;8;16;24m\xE2\x96\x80"
      "\x1B[0m"
      "\n"
      "\x1B[38;2;33;66;99m\x1B[48;2;0;0;0m\xE2\x96\x80"
      "\x1B[38;2;33;66;99m\x1B[48;2;255;0;255m\xE2\x96\x80"
      "\x1B[38;2;255;255;255m\x1B[48;2;255;255;0m\xE2\x96\x80"
      "\x1B[38;2;0;0;0m\x1B[48;2;0;255;255m\xE2\x96\x80"
      "\x1B[0m";
  EXPECT_EQ(drawn(image, {80, 24}), expected);
}

TEST(PictureText, LeavesTheBackgroundOfASingleLastRowAlone) {
  const RawImage image = rawImage(3, 1, {romWord(31, 0, 0), romWord(0, 31, 0), romWord(0, 0, 31)});
  EXPECT_EQ(drawn(image, {80, 24}),
            "\n\x1B[38;2;255;0;0m\xE2\x96\x80\x1B[38;2;0;255;0m\xE2\x96\x80\x1B[38;2;0;0;255m\xE2\x96\x80\x1B[0m");
}

TEST(PictureText, DrawsNothingForAnEmptyImage) {
  const RawImage none = rawImage(0, 0, {});
  EXPECT_EQ(pictureText(none.bytes.data(), 0, 0, 5, {80, 24}), "");
  EXPECT_EQ(pictureText(none.bytes.data(), 10, 5, 0, {80, 24}), "");
}

// The red F on blue, 5 x 7: a row flip, a mirror or red and blue mixed up
// all show. Drawn at full size, and drawn from an image twice its size.
const char* const kShape[] = {
    "FFFF.", "F....", "F....", "FFF..", "F....", "F....", ".....",
};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};

RawImage shapeImage(std::uint32_t scale) {
  std::vector<std::uint16_t> words;
  for (std::uint32_t y = 0; y < 7 * scale; ++y) {
    for (std::uint32_t x = 0; x < 5 * scale; ++x) {
      words.push_back(kShape[y / scale][x / scale] == 'F' ? romWord(31, 0, 0) : romWord(0, 0, 31));
    }
  }
  return rawImage(5 * scale, 7 * scale, words);
}

TEST(PictureText, DrawsTheRedFOnBlueTopRowFirst) {
  const struct {
    std::uint32_t imageScale;
    PictureBounds bounds;
  } cases[] = {{1, {80, 24}}, {1, {5, 4}}, {2, {5, 24}}, {2, {80, 4}}, {3, {5, 24}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "F scaled " << c.imageScale << ", bounds " << c.bounds.columns << "x"
                                    << c.bounds.lines);
    const std::vector<std::vector<Rgb>> rows = pixelRowsOf(drawn(shapeImage(c.imageScale), c.bounds));
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t y = 0; y < 7; ++y) {
      ASSERT_EQ(rows[y].size(), 5u);
      for (std::size_t x = 0; x < 5; ++x) {
        EXPECT_EQ(rows[y][x], kShape[y][x] == 'F' ? kRed : kBlue) << "at " << x << "," << y;
      }
    }
  }
}

// Red levels 0, 3, 6, 9, 12 widen to 0, 24, 49, 74, 99. Shrunk by 3, the
// first block averages three of them and the edge block the other two
// (86.5, rounded up), whether they lie in a row or in a column.
TEST(PictureText, AveragesPartialBlocksAtTheEdgesOverWhatTheyHold) {
  const std::vector<std::uint16_t> levels = {romWord(0, 0, 0), romWord(3, 0, 0), romWord(6, 0, 0),
                                             romWord(9, 0, 0), romWord(12, 0, 0)};
  const std::vector<std::vector<Rgb>> oneRow = pixelRowsOf(drawn(rawImage(5, 1, levels), {2, 24}));
  ASSERT_EQ(oneRow.size(), 1u);
  EXPECT_EQ(oneRow[0], (std::vector<Rgb>{{24, 0, 0}, {87, 0, 0}}));

  const std::vector<std::vector<Rgb>> oneColumn = pixelRowsOf(drawn(rawImage(1, 5, levels), {80, 1}));
  ASSERT_EQ(oneColumn.size(), 2u);
  EXPECT_EQ(oneColumn[0], (std::vector<Rgb>{{24, 0, 0}}));
  EXPECT_EQ(oneColumn[1], (std::vector<Rgb>{{87, 0, 0}}));

  // A 2 x 2 block: each field averages on its own, green (255 + 0 + 8 + 33) / 4
  // and blue (0 + 255 + 16 + 8) / 4.
  const RawImage square = rawImage(2, 2, {romWord(0, 31, 0), romWord(0, 0, 31), romWord(0, 1, 2), romWord(0, 4, 1)});
  EXPECT_EQ(pixelRowsOf(drawn(square, {1, 24})), (std::vector<std::vector<Rgb>>{{{0, 74, 70}}}));
}

// Pictures read every format through the decoder: each field widened by
// repeating its bits, alpha changing no colour, and halved pictures averaging
// the widened colours.
TEST(PictureText, DrawsEveryFormatsColours) {
  const struct {
    const char* format;
    std::vector<unsigned char> bytes;  // a 2 x 2 image
    std::vector<Rgb> top;
    std::vector<Rgb> bottom;
  } cases[] = {
      {"rgba", {255, 0, 0, 0, 0, 255, 0, 9, 0, 0, 255, 255, 1, 2, 3, 4},
       {{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {1, 2, 3}}},
      {"rgb565be", {0xF8, 0x00, 0x07, 0xE0, 0x00, 0x1F, 0x84, 0x10},
       {{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {132, 130, 132}}},
      {"argb4444le", {0x00, 0xFF, 0xF0, 0x00, 0x0F, 0x00, 0x21, 0x03},
       {{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {51, 34, 17}}},
      {"bgr24", {0, 0, 255, 0, 255, 0, 255, 0, 0, 10, 20, 30}, {{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {30, 20, 10}}},
  };
  for (const auto& c : cases) {
    const PixelFormat format = formatNamed(c.format);
    const PixelDecoder decoder = makeDecoder(format);
    const std::string text = pictureText(c.bytes.data(), 2 * format.wordBytes, 2, 2, {80, 24}, decoder);
    const std::vector<std::vector<Rgb>> rows = pixelRowsOf(text);
    ASSERT_EQ(rows.size(), 2u) << c.format;
    EXPECT_EQ(rows[0], c.top) << c.format;
    EXPECT_EQ(rows[1], c.bottom) << c.format;
    // Halved: one cell, the average of the four widened colours.
    const std::vector<std::vector<Rgb>> halved =
        pixelRowsOf(pictureText(c.bytes.data(), 2 * format.wordBytes, 2, 2, {1, 24}, decoder));
    const auto average = [&](int Rgb::*channel) {
      const int sum = (c.top[0].*channel) + (c.top[1].*channel) + (c.bottom[0].*channel) + (c.bottom[1].*channel);
      return (sum + 2) / 4;
    };
    ASSERT_EQ(halved.size(), 1u);
    EXPECT_EQ(halved[0][0], (Rgb{average(&Rgb::red), average(&Rgb::green), average(&Rgb::blue)})) << c.format;
  }
}

TEST(PictureScale, IsTheSmallestWholeFactorThatFits) {
  const struct {
    std::uint32_t width, height;
    PictureBounds bounds;
    std::uint64_t scale;
  } cases[] = {
      {64, 32, {80, 24}, 1},        {80, 48, {80, 24}, 1},      {81, 48, {80, 24}, 2},
      {80, 49, {80, 24}, 2},        {64, 32, {40, 18}, 2},      {64, 32, {100, 8}, 2},
      {65, 32, {32, 24}, 3},        {1, 1, {1, 1}, 1},          {0, 0, {80, 24}, 1},
      {256, 262144, {80, 24}, 5462}, {2147483647, 1, {1000, 24}, 2147484},
      // Bounds of zero count as one column, one line.
      {3, 3, {0, 0}, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pictureScale(c.width, c.height, c.bounds), c.scale)
        << c.width << "x" << c.height << " in " << c.bounds.columns << "x" << c.bounds.lines;
  }
}

// A whole ROM as one tall strip stays within the lines it is given.
TEST(PictureText, KeepsATallStripWithinItsLines) {
  const RawImage strip = rawImage(256, 4096, std::vector<std::uint16_t>(256 * 4096, romWord(1, 2, 3)));
  const std::vector<std::vector<Rgb>> rows = pixelRowsOf(drawn(strip, {80, 24}));
  ASSERT_EQ(rows.size(), 48u);  // shrunk by 86: 3 columns, 48 rows, 24 lines
  for (const auto& row : rows) EXPECT_EQ(row, std::vector<Rgb>(3, Rgb{8, 16, 24}));
}

// Every small size in every small room: the picture takes as many cells and
// lines as the smallest factor gives, within the room, and a one-colour
// image stays that colour in every block, partial ones included.
TEST(PictureText, FitsEverySmallSizeInEverySmallRoom) {
  const Rgb colour{57, 156, 231};  // fields 7, 19, 28
  for (std::uint32_t width = 1; width <= 9; ++width) {
    for (std::uint32_t height = 1; height <= 9; ++height) {
      const RawImage image = rawImage(width, height, std::vector<std::uint16_t>(width * height, romWord(7, 19, 28)));
      for (std::uint32_t columns = 1; columns <= 4; ++columns) {
        for (std::uint32_t lines = 1; lines <= 3; ++lines) {
          SCOPED_TRACE(testing::Message() << width << "x" << height << " in " << columns << "x" << lines);
          const std::uint64_t k = pictureScale(width, height, {columns, lines});
          const std::uint64_t smaller = k - 1;
          EXPECT_TRUE(k == 1 || (width + smaller - 1) / smaller > columns ||
                      (height + smaller - 1) / smaller > 2 * lines);
          const std::vector<std::vector<Rgb>> rows = pixelRowsOf(drawn(image, {columns, lines}));
          ASSERT_EQ(rows.size(), (height + k - 1) / k);
          EXPECT_LE(rows.size(), 2 * lines);
          for (const auto& row : rows) {
            ASSERT_EQ(row.size(), (width + k - 1) / k);
            EXPECT_LE(row.size(), columns);
            for (const Rgb& pixel : row) EXPECT_EQ(pixel, colour);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace velloran
