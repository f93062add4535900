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
//   indexed  1-, 4- or 8-bit BI_RGB, the ROM's indices as they are (2-bit ones
//            in a 4-bit file), the palette as the colour table
//
// Indexed formats are decoded in two steps: unpackIndices turns the ROM's
// bytes into rows of one index byte per pixel, which the calls below take.
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

enum class BmpPixels { rgb555, rgb565, bgr24, bgra32, indexed1, indexed2, indexed4, indexed8 };

// How the BMP file keeps `format`, its bits per pixel there, and the
// entries of its colour table (0 for direct colour).
BmpPixels bmpPixelsOf(const PixelFormat& format);
unsigned bmpBitsPerPixel(BmpPixels pixels);
unsigned bmpPaletteEntries(BmpPixels pixels);

// A palette's colours as 0xRRGGBB; an indexed format uses its first 2^bits.
using Palette = std::vector<std::uint32_t>;

// The palette an indexed format has when none is given: a grey ramp from
// black (index 0) to white (the highest index).
Palette greyRamp(unsigned indexBits);

// A format ready to decode: its tables made once, so that a pixel costs a
// load and a few lookups, with no branch on the format.
struct PixelDecoder {
  PixelFormat format;
  BmpPixels bmp;
  unsigned fileBits;    // per pixel in the BMP file: 1, 4, 8, 16, 24 or 32
  unsigned pixelBytes;  // per pixel in the rows the calls below take: the
                        // ROM's word, or 1 (an index, unpacked)
  // 16-bit words: every word's colour, looked up whole (indexed formats:
  // every index's, the palette as used); and where each of
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
// (256 KiB) that pictures look colours up in; files need none. An indexed
// format takes the first 2^bits colours of `palette`, black past its end
// (the grey ramp when it is empty).
PixelDecoder makeDecoder(const PixelFormat& format, bool forPictures = true, const Palette& palette = {});

// `rows` rows (a multiple of stripRows) of `width` pixels of an indexed
// format's ROM bytes, as one index byte per pixel, row after row. A linear
// row may also be a run of a longer one that starts on a byte.
void unpackIndices(const PixelFormat& format, const unsigned char* raw, std::uint32_t width, std::uint32_t rows,
                   unsigned char* indices);

// `count` indices packed `bits` (1, 2, 4 or 8) to a byte, the leftmost in
// the highest bits, as BMP and PNG rows keep them; a last byte's unused
// bits are zero.
void packIndices(const unsigned char* indices, std::size_t count, unsigned bits, unsigned char* out);

// The default format's decoder, made once.
const PixelDecoder& defaultDecoder();

// `count` pixels of `raw` as 0xRRGGBB; alpha does not change a colour.
void decodeColours(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, std::uint32_t* colours);

// `count` pixels of `raw` as 8-bit R, G, B bytes, and A after them where
// `withAlpha`: 3 or 4 bytes each, every field widened.
void decodeRgbBytes(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, bool withAlpha,
                    unsigned char* out);

// `count` pixels of `raw` as the BMP file holds them: decoder.fileBits each.
void encodeBmpPixels(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, unsigned char* out);

}  // namespace velloran
