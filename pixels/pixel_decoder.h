// The one decoding of ROM pixels, for every format: into the snapshot
// file's pixels, and into 0xRRGGBB colours for pictures. An n-bit field is
// widened to 8 bits by repeating its bits (5 bits: v << 3 | v >> 2), so that
// its top bits are the field exactly.
//
// How the BMP file keeps each format, every bit of it:
//
//   rgb555   16-bit BI_RGB: r10-14 g5-9 b0-4, the format's one other bit
//            (x or alpha) in bit 15       formats with 5-bit r, g, b in 16 bits
//   rgb565   16-bit BI_BITFIELDS, masks R F800 G 07E0 B 001F
//                                         formats with 5-, 6-, 5-bit r, g, b in 16 bits
//   bgr24    24-bit BI_RGB, bytes B G R, widened        any other without alpha
//   bgra32   32-bit BI_BITFIELDS (BITMAPV5HEADER), bytes B G R A, widened
//                                         any other with alpha
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixels/pixel_format.h"

namespace velloran {

// Exchanges bits 0-4 with bits 10-14; bits 5-9 and 15 stay: the default
// format's conversion of one word into the BMP's.
constexpr std::uint16_t swapRedBlue(std::uint16_t pixel) {
  return static_cast<std::uint16_t>((pixel & 0x83E0u) | ((pixel & 0x1Fu) << 10) | ((pixel >> 10) & 0x1Fu));
}

enum class BmpPixels { rgb555, rgb565, bgr24, bgra32 };

// How the BMP file keeps `format`, and its bytes per pixel there.
BmpPixels bmpPixelsOf(const PixelFormat& format);
unsigned bmpBytesPerPixel(BmpPixels pixels);

// A format ready to decode: its tables made once, so that a pixel costs a
// load and a few lookups, with no branch on the format.
struct PixelDecoder {
  PixelFormat format;
  BmpPixels bmp;
  unsigned fileBytes;  // per pixel in the BMP file: 2, 3 or 4
  // 16-bit words: every word's colour, looked up whole; and where each of
  // its fields goes in a 16-bit BMP pixel: (word >> shift & mask) << to.
  std::vector<std::uint32_t> colourOfWord;
  struct Move {
    unsigned shift;
    unsigned mask;
    unsigned to;
  } bmpMoves[4];
  // The commonest 16-bit plans, done faster than the general moves: the
  // word kept as it is (rgb555le, rgb565le), or red and blue exchanged
  // (bgr555le, the default).
  enum class BmpPlan { moves, copy, swapRedBlue } bmpPlan;
  // Formats whose colour and alpha fields are whole bytes (rgb24, rgba, ...):
  // where each is in a pixel's bytes, so that the BMP's are byte copies.
  bool wholeBytes;
  unsigned byteOf[kChannels];
  // Wider words: each field's value widened to 8 bits.
  std::uint8_t widened[kChannels][256];
};

// May throw std::bad_alloc. `forPictures` makes the 16-bit colour table
// (256 KiB) that pictures look colours up in; files need none.
PixelDecoder makeDecoder(const PixelFormat& format, bool forPictures = true);

// The default format's decoder, made once.
const PixelDecoder& defaultDecoder();

// `count` pixels of `raw` as 0xRRGGBB; alpha does not change a colour.
void decodeColours(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, std::uint32_t* colours);

// `count` pixels of `raw` as 8-bit R, G, B bytes, and A after them where
// `withAlpha`: 3 or 4 bytes each, every field widened.
void decodeRgbBytes(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, bool withAlpha,
                    unsigned char* out);

// `count` pixels of `raw` as the BMP file holds them: decoder.fileBytes each.
void encodeBmpPixels(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, unsigned char* out);

}  // namespace velloran
