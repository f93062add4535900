#include "snapshot/console_picture.h"

#include <algorithm>
#include <vector>

namespace velloran {

namespace {

constexpr const char* kUpperHalfBlock = "\xE2\x96\x80";
constexpr const char* kDefaultColours = "\x1B[0m";
// Two colour sequences of 19 bytes at most, and the block's three.
constexpr std::size_t kMaxCellBytes = 2 * 19 + 3;

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
      ColourSum& sum = sums[column];
      for (std::uint64_t x = first; x < end; ++x) {
        const unsigned word = rowStart[2 * x] | (rowStart[2 * x + 1] << 8);
        sum.red += widen(word & 0x1Fu);
        sum.green += widen((word >> 5) & 0x1Fu);
        sum.blue += widen((word >> 10) & 0x1Fu);
      }
      sum.pixels += end - first;
    }
  }
}

// Rounded to the nearest level, halves up.
Colour averageOf(const ColourSum& sum) {
  const std::uint64_t half = sum.pixels / 2;
  return Colour{static_cast<unsigned>((sum.red + half) / sum.pixels),
                static_cast<unsigned>((sum.green + half) / sum.pixels),
                static_cast<unsigned>((sum.blue + half) / sum.pixels)};
}

void appendLevel(std::string& text, unsigned level) {
  if (level >= 100) text += static_cast<char>('0' + level / 100);
  if (level >= 10) text += static_cast<char>('0' + level / 10 % 10);
  text += static_cast<char>('0' + level % 10);
}

// ESC[38;2;R;G;Bm sets the foreground, ESC[48;2;R;G;Bm the background.
void appendColour(std::string& text, const char* layer, const Colour& colour) {
  text += "\x1B[";
  text += layer;
  text += ";2;";
  appendLevel(text, colour.red);
  text += ';';
  appendLevel(text, colour.green);
  text += ';';
  appendLevel(text, colour.blue);
  text += 'm';
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
  text.reserve(static_cast<std::size_t>(lines) * (1 + columns * kMaxCellBytes + 4));
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
    text += '\n';
    for (std::size_t column = 0; column < columns; ++column) {
      appendColour(text, "38", averageOf(upper[column]));
      if (hasLower) appendColour(text, "48", averageOf(lower[column]));
      text += kUpperHalfBlock;
    }
    text += kDefaultColours;
  }
  return text;
}

}  // namespace velloran
