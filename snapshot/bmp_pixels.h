// How the BMP file keeps each format, every bit of it, and the pixels
// made so:
//
//   rgb555   16-bit BI_RGB: r10-14 g5-9 b0-4, the format's one other bit
//            (x or alpha) in bit 15       formats with 5-bit r, g, b in 16 bits
//   rgb565   16-bit BI_BITFIELDS, masks R F800 G 07E0 B 001F
//                                         formats with 5-, 6-, 5-bit r, g, b in 16 bits
//   bgr24    24-bit BI_RGB, bytes B G R, widened        any other without alpha
//   bgra32   32-bit BI_BITFIELDS (BITMAPV5HEADER), bytes B G R A, widened
//                                         any other with alpha
//   indexed  1-, 4- or 8-bit BI_RGB, the ROM's indices as they are (2-bit ones
//            in a 4-bit file), the palette as the colour table
#pragma once

#include <cstddef>
#include <cstdint>

#include "pixels/pixel_decoder.h"

namespace velloran {

// Exchanges bits 0-4 with bits 10-14; bits 5-9 and 15 stay: the default
// format's conversion of one word into the BMP's.
constexpr std::uint16_t swapRedBlue(std::uint16_t pixel) {
  return static_cast<std::uint16_t>((pixel & 0x83E0u) | ((pixel & 0x1Fu) << 10) | ((pixel >> 10) & 0x1Fu));
}

enum class BmpPixels { rgb555, rgb565, bgr24, bgra32, indexed1, indexed2, indexed4, indexed8 };

// How the BMP file keeps `format`, its bits per pixel there, and the
// entries of its colour table (0 for direct colour).
BmpPixels bmpPixelsOf(const PixelFormat& format);
unsigned bmpBitsPerPixel(BmpPixels pixels);
unsigned bmpPaletteEntries(BmpPixels pixels);

// Whether a format's BMP pixels are looked up in the decoder's 16-bit colour
// table: 16-bit words widened to 24 or 32 bits.
bool bmpNeedsColourTable(const PixelFormat& format);

// A format's BMP pixels, planned once: how many bits, and for 16-bit files
// where each field of a word goes, (word >> shift & mask) << to.
struct BmpPlan {
  BmpPixels pixels;
  unsigned fileBits;  // per pixel in the file: 1, 4, 8, 16, 24 or 32
  struct Move {
    unsigned shift;
    unsigned mask;
    unsigned to;
  } moves[4];
  // The commonest 16-bit plans, done faster than the general moves: the
  // word kept as it is (rgb555le, rgb565le), or red and blue exchanged
  // (bgr555le, the default).
  enum class Kind { moves, copy, swapRedBlue } kind;
};

BmpPlan planBmp(const PixelFormat& format);

// `count` pixels of `raw` (as the decoder takes them) as the BMP file holds
// them: plan.fileBits each.
void encodeBmpPixels(const BmpPlan& plan, const PixelDecoder& decoder, const unsigned char* raw, std::size_t count,
                     unsigned char* out);

}  // namespace velloran
