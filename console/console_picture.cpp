#include "console/console_picture.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "console/screen.h"
#include "pixels/pixel_decoder.h"

namespace velloran {

namespace {

constexpr std::uint64_t ceilDivide(std::uint64_t value, std::uint64_t divisor) {
  return (value + divisor - 1) / divisor;
}

// Writes the line whose rows are all in, and readies the sums for the next.
// Or, for an image, its two pixel rows.
void putLine(PictureBuilder& picture) {
  const std::uint64_t lowerRow = (2 * picture.line + 1) * picture.scale;
  const bool hasLower = lowerRow < picture.height;
  takeBlockColours(picture.upper, picture.upperColours, 0);
  takeBlockColours(picture.lower, picture.lowerColours, 0);
  if (picture.inPixels) {
    std::vector<std::uint32_t>& pixels = picture.image.pixels;
    pixels.insert(pixels.end(), picture.upperColours.begin(), picture.upperColours.end());
    if (hasLower) pixels.insert(pixels.end(), picture.lowerColours.begin(), picture.lowerColours.end());
  } else {
    putPictureLine(picture.text, picture.upperColours.data(), hasLower ? picture.lowerColours.data() : nullptr,
                   picture.upperColours.size());
  }
  ++picture.line;
}

}  // namespace

std::uint32_t averageColour(const ColourSum& sum) {
  if (sum.pixels == 0) return 0;
  // Unshrunk pictures skip the divisions, which cost more than the rest of a cell.
  if (sum.pixels == 1) return static_cast<std::uint32_t>(sum.red << 16 | sum.green << 8 | sum.blue);
  const std::uint64_t half = sum.pixels / 2;
  return static_cast<std::uint32_t>((sum.red + half) / sum.pixels << 16 | (sum.green + half) / sum.pixels << 8 |
                                    (sum.blue + half) / sum.pixels);
}

void addToBlocks(std::vector<ColourSum>& sums, const PixelDecoder& decoder, const unsigned char* pixels,
                 std::uint64_t firstColumn, std::uint64_t count, std::uint64_t scale) {
  // Decoded a chunk at a time, then each pixel added to its block: small
  // blocks (1:4) cost no call each.
  constexpr std::size_t kChunk = 512;
  std::uint32_t colours[kChunk];
  for (std::uint64_t done = 0; done < count; done += kChunk) {
    const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, count - done));
    decodeColours(decoder, pixels + decoder.pixelBytes * done, chunk, colours);
    std::uint64_t x = firstColumn + done;
    for (std::size_t index = 0; index < chunk;) {
      ColourSum& sum = sums[static_cast<std::size_t>(x / scale)];
      const std::size_t inBlock = static_cast<std::size_t>(std::min<std::uint64_t>(chunk - index, (x / scale + 1) * scale - x));
      // In locals: stores to the sum could alias the colours, which would
      // make the compiler reload them for every pixel.
      std::uint64_t red = 0;
      std::uint64_t green = 0;
      std::uint64_t blue = 0;
      for (std::size_t at = index; at < index + inBlock; ++at) {
        red += colours[at] >> 16;
        green += (colours[at] >> 8) & 0xFFu;
        blue += colours[at] & 0xFFu;
      }
      sum.red += red;
      sum.green += green;
      sum.blue += blue;
      sum.pixels += inBlock;
      index += inBlock;
      x += inBlock;
    }
  }
}

void takeBlockColours(std::vector<ColourSum>& sums, std::vector<std::uint32_t>& colours, std::uint32_t empty) {
  colours.resize(sums.size());
  for (std::size_t column = 0; column < sums.size(); ++column) {
    colours[column] = sums[column].pixels > 0 ? averageColour(sums[column]) : empty;
    sums[column] = ColourSum{0, 0, 0, 0};
  }
}

std::uint64_t pictureScale(std::uint32_t width, std::uint32_t height, PictureBounds bounds) {
  const std::uint64_t columns = std::max<std::uint32_t>(bounds.columns, 1);
  const std::uint64_t pixelRows = 2 * std::uint64_t{std::max<std::uint32_t>(bounds.lines, 1)};
  return std::max({std::uint64_t{1}, ceilDivide(width, columns), ceilDivide(height, pixelRows)});
}

PictureBuilder startPicture(const PixelDecoder& decoder, std::uint32_t width, std::uint32_t height,
                            PictureBounds bounds, bool inPixels) {
  PictureBuilder picture{&decoder, width, height, pictureScale(width, height, bounds), 0, 0, {}, {}, {}, {}, {},
                         inPixels, RgbImage{0, 0, {}}};
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
    // A cell takes at most two colour sequences of 19 bytes and the block's 3.
    picture.text.reserve(static_cast<std::size_t>(picture.lines) * (columns * 41 + 5));
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
    addToBlocks(sums, *picture.decoder,
                pixels + std::size_t{columnCount} * picture.decoder->pixelBytes * (row - firstRow), firstColumn,
                columnCount, picture.scale);
  }
}

std::string finishPicture(PictureBuilder& picture) {
  while (picture.line < picture.lines) putLine(picture);
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
