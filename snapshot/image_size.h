// The one rule for the largest image, for the answers' checks, the view and
// the writer, and the words that say which limit an image passes. Apart
// from the BMP's bytes (bmp_file.h), whose header's limit is one of them.
#pragma once

#include <cstdint>
#include <string>

#include "pixels/pixel_format.h"

namespace velloran {

// Tiles are read a row of tiles at a time: 8 rows of this many pixels at
// most, so that a row of tiles fits a block (snapshot_writer.h).
constexpr std::int32_t kWidestTiles = 524288;

// The one rule for the largest image, for the answers' checks and the writer.
enum class ImageSize {
  fits,
  negative,       // a width or height below 0
  rawTooLarge,    // width x height x bytes per pixel of ROM beyond 2147483647
  fileTooLarge,   // its BMP file beyond the header's 4294967295 bytes
  notWholeTiles,  // a tiled format's width or height not a multiple of 8
  tilesTooWide,   // a tiled format wider than kWidestTiles
};

// Taken in 64 bits, so that a typed size (which may be negative) and a
// request's (unsigned) both pass as they are.
ImageSize imageSize(std::int64_t width, std::int64_t height, const PixelFormat& format = defaultFormat());

// Why an image does not fit, naming the limit it passes in the format's numbers.
std::string imageSizeText(ImageSize size, const PixelFormat& format = defaultFormat());

}  // namespace velloran
