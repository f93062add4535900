// Turns raw ROM pixels into the pixel rows of a bottom-up BMP, through the
// one decoder (pixels/pixel_decoder.h). For the default format, bgr555le:
//
//   bit   15  14..10  9..5   4..0
//   ROM   top  blue   green  red
//   BMP   top  red    green  blue
//
// Pixel words are little-endian in both places. Bit 15 is carried over as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pixels/pixel_decoder.h"
#include "snapshot/bmp_pixels.h"

namespace velloran {

// Bytes per BMP row: `fileBits` per pixel, rounded up to a multiple of four bytes.
constexpr std::uint64_t rowBytesFor(std::uint32_t width, unsigned fileBits = 16) {
  return (std::uint64_t{width} * fileBits + 31) / 32 * 4;
}

// Writes `height` rows of `width` pixels from `source` (rows `sourceStride`
// bytes apart, first row first) into `destination` (rows `rowBytes` apart,
// last row first), as `plan` says the BMP file keeps the format, zeroing each
// row's padding.
void convertRows(const BmpPlan& plan, const PixelDecoder& decoder, const unsigned char* source,
                 std::size_t sourceStride, std::uint32_t width, std::uint32_t height, unsigned char* destination,
                 std::size_t rowBytes);

// convertRows in the default format.
void convertImage(const unsigned char* source, std::size_t sourceStride, std::uint32_t width,
                  std::uint32_t height, unsigned char* destination, std::size_t rowBytes);

}  // namespace velloran
