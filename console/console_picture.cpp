#include "console/console_picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pixels/pixel_decoder.h"

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

constexpr std::uint64_t ceilDivide(std::uint64_t value, std::uint64_t divisor) {
  return (value + divisor - 1) / divisor;
}

// Adds one row's run of `count` pixels, from image column `firstColumn` on,
// into `sums`, one per picture column of `scale` image columns.
void addRun(const PixelDecoder& decoder, const unsigned char* pixels, std::uint32_t firstColumn, std::uint32_t count,
            std::uint64_t scale, std::vector<ColourSum>& sums) {
  const std::uint64_t runEnd = std::uint64_t{firstColumn} + count;
  for (std::uint64_t column = firstColumn / scale; column * scale < runEnd; ++column) {
    const std::uint64_t first = std::max<std::uint64_t>(firstColumn, column * scale);
    const std::uint64_t end = std::min<std::uint64_t>(runEnd, (column + 1) * scale);
    addPixels(sums[column], decoder, pixels + decoder.format.wordBytes * (first - firstColumn),
              static_cast<std::size_t>(end - first));
  }
}

// Rounded to the nearest level, halves up.
Colour averageOf(const ColourSum& sum) {
  if (sum.pixels == 0) return Colour{0, 0, 0};
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

// Writes the line whose rows are all in, and readies the sums for the next.
// Or, for an image, its two pixel rows.
void putLine(PictureBuilder& picture) {
  const std::uint64_t lowerRow = (2 * picture.line + 1) * picture.scale;
  const bool hasLower = lowerRow < picture.height;
  if (picture.inPixels) {
    for (const ColourSum& sum : picture.upper) picture.image.pixels.push_back(averageColour(sum));
    if (hasLower) {
      for (const ColourSum& sum : picture.lower) picture.image.pixels.push_back(averageColour(sum));
    }
  } else {
    char* at = &picture.text[picture.length];
    *at++ = '\n';
    for (std::size_t column = 0; column < picture.upper.size(); ++column) {
      at = putColour(at, kForeground, averageOf(picture.upper[column]));
      if (hasLower) at = putColour(at, kBackground, averageOf(picture.lower[column]));
      at = put(at, kUpperHalfBlock);
    }
    at = put(at, kDefaultColours);
    picture.length = static_cast<std::size_t>(at - picture.text.data());
  }
  std::fill(picture.upper.begin(), picture.upper.end(), ColourSum{0, 0, 0, 0});
  std::fill(picture.lower.begin(), picture.lower.end(), ColourSum{0, 0, 0, 0});
  ++picture.line;
}

}  // namespace

void addPixels(ColourSum& sum, const PixelDecoder& decoder, const unsigned char* pixels, std::size_t count) {
  // In locals: stores to the sum could alias the pixel bytes, which would
  // make the compiler reload them for every pixel.
  std::uint64_t red = 0;
  std::uint64_t green = 0;
  std::uint64_t blue = 0;
  constexpr std::size_t kChunk = 256;
  std::uint32_t colours[kChunk];
  for (std::size_t done = 0; done < count; done += kChunk) {
    const std::size_t chunk = std::min(kChunk, count - done);
    decodeColours(decoder, pixels + done * decoder.format.wordBytes, chunk, colours);
    for (std::size_t x = 0; x < chunk; ++x) {
      red += colours[x] >> 16;
      green += (colours[x] >> 8) & 0xFFu;
      blue += colours[x] & 0xFFu;
    }
  }
  sum.red += red;
  sum.green += green;
  sum.blue += blue;
  sum.pixels += count;
}

std::uint32_t averageColour(const ColourSum& sum) {
  const Colour colour = averageOf(sum);
  return (colour.red << 16) | (colour.green << 8) | colour.blue;
}

std::uint64_t pictureScale(std::uint32_t width, std::uint32_t height, PictureBounds bounds) {
  const std::uint64_t columns = std::max<std::uint32_t>(bounds.columns, 1);
  const std::uint64_t pixelRows = 2 * std::uint64_t{std::max<std::uint32_t>(bounds.lines, 1)};
  return std::max({std::uint64_t{1}, ceilDivide(width, columns), ceilDivide(height, pixelRows)});
}

PictureBuilder startPicture(const PixelDecoder& decoder, std::uint32_t width, std::uint32_t height,
                            PictureBounds bounds, bool inPixels) {
  PictureBuilder picture{&decoder, width, height, pictureScale(width, height, bounds), 0, 0, {}, {}, {}, 0, inPixels,
                         RgbImage{0, 0, {}}};
  if (width == 0 || height == 0) return picture;
  const auto columns = static_cast<std::size_t>(ceilDivide(width, picture.scale));
  picture.lines = ceilDivide(ceilDivide(height, picture.scale), 2);
  picture.upper.assign(columns, ColourSum{0, 0, 0, 0});
  picture.lower.assign(columns, ColourSum{0, 0, 0, 0});
  if (inPixels) {
    picture.image.width = static_cast<std::uint32_t>(columns);
    picture.image.height = static_cast<std::uint32_t>(ceilDivide(height, picture.scale));
    picture.image.pixels.reserve(columns * picture.image.height);
  } else {
    picture.text.resize(static_cast<std::size_t>(picture.lines) * lineBytesFor(columns));
  }
  return picture;
}

void addPictureRows(PictureBuilder& picture, const unsigned char* pixels, std::uint32_t firstRow,
                    std::uint32_t rowCount, std::uint32_t firstColumn, std::uint32_t columnCount) {
  if (picture.lines == 0) return;  // an empty image has nothing to draw
  for (std::uint64_t row = firstRow; row < std::uint64_t{firstRow} + rowCount; ++row) {
    const std::uint64_t pixelRow = row / picture.scale;
    while (picture.line < pixelRow / 2) putLine(picture);
    std::vector<ColourSum>& sums = pixelRow % 2 == 0 ? picture.upper : picture.lower;
    addRun(*picture.decoder, pixels + std::size_t{columnCount} * picture.decoder->format.wordBytes * (row - firstRow),
           firstColumn, columnCount, picture.scale, sums);
  }
}

std::string finishPicture(PictureBuilder& picture) {
  while (picture.line < picture.lines) putLine(picture);
  picture.text.resize(picture.length);
  return std::move(picture.text);
}

RgbImage finishPictureImage(PictureBuilder& picture) {
  while (picture.line < picture.lines) putLine(picture);
  return std::move(picture.image);
}

std::string pictureText(const unsigned char* pixels, std::size_t sourceStride, std::uint32_t width,
                        std::uint32_t height, PictureBounds bounds, const PixelDecoder& decoder) {
  PictureBuilder picture = startPicture(decoder, width, height, bounds);
  for (std::uint32_t row = 0; row < height; ++row) {
    addPictureRows(picture, pixels + sourceStride * row, row, 1, 0, width);
  }
  return finishPicture(picture);
}

}  // namespace velloran
