#include "snapshot/console_picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velloran {

namespace {

constexpr char kUpperHalfBlock[] = "\xE2\x96\x80";
constexpr char kDefaultColours[] = "\x1B[0m";
constexpr char kForeground[] = "\x1B[38;2;";
constexpr char kBackground[] = "\x1B[48;2;";
// Two colour sequences of 19 bytes at most, and the block's three.
constexpr std::size_t kMaxCellBytes = 2 * 19 + 3;
// A line break, its cells, and the colours' reset.
constexpr std::size_t lineBytesFor(std::size_t columns) {
  return 1 + columns * kMaxCellBytes + sizeof kDefaultColours - 1;
}

struct Colour {
  unsigned red;
  unsigned green;
  unsigned blue;
};

// The widened colours of one picture pixel's block, added up.
struct ColourSum {
  std::uint64_t red;
  std::uint64_t green;
  std::uint64_t blue;
  std::uint64_t pixels;
};

constexpr std::uint64_t ceilDivide(std::uint64_t value, std::uint64_t divisor) {
  return (value + divisor - 1) / divisor;
}

constexpr unsigned widen(unsigned field) {
  return (field << 3) | (field >> 2);
}

// Adds image rows [firstRow, endRow) into `sums`, one per picture column of
// `scale` image columns.
void sumRows(const unsigned char* pixels, std::size_t sourceStride, std::uint32_t width, std::uint64_t scale,
             std::uint64_t firstRow, std::uint64_t endRow, std::vector<ColourSum>& sums) {
  std::fill(sums.begin(), sums.end(), ColourSum{0, 0, 0, 0});
  for (std::uint64_t row = firstRow; row < endRow; ++row) {
    const unsigned char* rowStart = pixels + sourceStride * row;
    for (std::size_t column = 0; column < sums.size(); ++column) {
      const std::uint64_t first = column * scale;
      const std::uint64_t end = std::min<std::uint64_t>(width, first + scale);
      // In locals: stores to the sums could alias the pixel bytes, which
      // would make the compiler reload them for every pixel.
      std::uint64_t red = 0;
      std::uint64_t green = 0;
      std::uint64_t blue = 0;
      for (std::uint64_t x = first; x < end; ++x) {
        const unsigned word = rowStart[2 * x] | (rowStart[2 * x + 1] << 8);
        red += widen(word & 0x1Fu);
        green += widen((word >> 5) & 0x1Fu);
        blue += widen((word >> 10) & 0x1Fu);
      }
      ColourSum& sum = sums[column];
      sum.red += red;
      sum.green += green;
      sum.blue += blue;
      sum.pixels += end - first;
    }
  }
}

// Rounded to the nearest level, halves up.
Colour averageOf(const ColourSum& sum) {
  // Unshrunk pictures skip the divisions, which cost more than the rest of a cell.
  if (sum.pixels == 1) {
    return Colour{static_cast<unsigned>(sum.red), static_cast<unsigned>(sum.green), static_cast<unsigned>(sum.blue)};
  }
  const std::uint64_t half = sum.pixels / 2;
  return Colour{static_cast<unsigned>((sum.red + half) / sum.pixels),
                static_cast<unsigned>((sum.green + half) / sum.pixels),
                static_cast<unsigned>((sum.blue + half) / sum.pixels)};
}

// The text is written through a pointer into room made for the longest
// cells: appending byte by byte to a string costs more than the pixels do.
template <std::size_t size>
char* put(char* at, const char (&text)[size]) {
  std::memcpy(at, text, size - 1);
  return at + size - 1;
}

char* putLevel(char* at, unsigned level) {
  if (level >= 100) *at++ = static_cast<char>('0' + level / 100);
  if (level >= 10) *at++ = static_cast<char>('0' + level / 10 % 10);
  *at++ = static_cast<char>('0' + level % 10);
  return at;
}

// ESC[38;2;R;G;Bm sets the foreground, ESC[48;2;R;G;Bm the background.
char* putColour(char* at, const char (&layer)[8], const Colour& colour) {
  at = putLevel(put(at, layer), colour.red);
  *at++ = ';';
  at = putLevel(at, colour.green);
  *at++ = ';';
  at = putLevel(at, colour.blue);
  *at++ = 'm';
  return at;
}

}  // namespace

std::uint64_t pictureScale(std::uint32_t width, std::uint32_t height, PictureBounds bounds) {
  const std::uint64_t columns = std::max<std::uint32_t>(bounds.columns, 1);
  const std::uint64_t pixelRows = 2 * std::uint64_t{std::max<std::uint32_t>(bounds.lines, 1)};
  return std::max({std::uint64_t{1}, ceilDivide(width, columns), ceilDivide(height, pixelRows)});
}

std::string pictureText(const unsigned char* pixels, std::size_t sourceStride, std::uint32_t width,
                        std::uint32_t height, PictureBounds bounds) {
  std::string text;
  if (width == 0 || height == 0) return text;
  const std::uint64_t scale = pictureScale(width, height, bounds);
  const auto columns = static_cast<std::size_t>(ceilDivide(width, scale));
  const std::uint64_t lines = ceilDivide(ceilDivide(height, scale), 2);
  text.resize(static_cast<std::size_t>(lines) * lineBytesFor(columns));
  char* at = &text[0];
  std::vector<ColourSum> upper(columns);
  std::vector<ColourSum> lower(columns);
  for (std::uint64_t line = 0; line < lines; ++line) {
    const std::uint64_t upperRow = 2 * line * scale;
    const std::uint64_t lowerRow = upperRow + scale;
    const bool hasLower = lowerRow < height;
    sumRows(pixels, sourceStride, width, scale, upperRow, std::min<std::uint64_t>(height, lowerRow), upper);
    if (hasLower) {
      sumRows(pixels, sourceStride, width, scale, lowerRow, std::min<std::uint64_t>(height, lowerRow + scale),
              lower);
    }
    *at++ = '\n';
    for (std::size_t column = 0; column < columns; ++column) {
      at = putColour(at, kForeground, averageOf(upper[column]));
      if (hasLower) at = putColour(at, kBackground, averageOf(lower[column]));
      at = put(at, kUpperHalfBlock);
    }
    at = put(at, kDefaultColours);
  }
  text.resize(static_cast<std::size_t>(at - text.data()));
  return text;
}

}  // namespace velloran
