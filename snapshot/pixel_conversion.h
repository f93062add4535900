// Turns raw ROM pixels into the pixel rows of a bottom-up 16-bit BMP.
//
//   bit   15  14..10  9..5   4..0
//   ROM   top  blue   green  red
//   BMP   top  red    green  blue
//
// Pixel words are little-endian in both places. Bit 15 is carried over as it is.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velloran {

// One ROM pixel word from its two bytes, low byte first, whatever the host's
// byte order. Every reader of ROM pixels goes through here.
constexpr std::uint16_t pixelWordAt(const unsigned char* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// The three 5-bit colour fields of a ROM pixel word.
struct ColourFields {
  unsigned red;
  unsigned green;
  unsigned blue;
};

constexpr ColourFields romColours(std::uint16_t word) {
  return ColourFields{word & 0x1Fu, (word >> 5) & 0x1Fu, (word >> 10) & 0x1Fu};
}

// Exchanges bits 0-4 with bits 10-14; bits 5-9 and 15 stay.
constexpr std::uint16_t swapRedBlue(std::uint16_t pixel) {
  return static_cast<std::uint16_t>((pixel & 0x83E0u) | (romColours(pixel).red << 10) | romColours(pixel).blue);
}

// Bytes per BMP row: two per pixel, rounded up to a multiple of four.
constexpr std::uint64_t rowBytesFor(std::uint32_t width) {
  return (std::uint64_t{width} * 2 + 3) & ~std::uint64_t{3};
}

// Writes `height` rows of `width` pixels from `source` (rows `sourceStride`
// bytes apart, first row first) into `destination` (rows `rowBytes` apart,
// last row first), swapping red and blue and zeroing each row's padding.
void convertImage(const unsigned char* source, std::size_t sourceStride, std::uint32_t width,
                  std::uint32_t height, unsigned char* destination, std::size_t rowBytes);

}  // namespace velloran
