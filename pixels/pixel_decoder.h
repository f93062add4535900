// The one decoding of ROM pixels, for every format: into fields, colours
// (0xRRGGBB, for pictures and for files that widen), and RGB bytes. An n-bit
// field is widened to 8 bits by repeating its bits (5 bits: v << 3 | v >> 2),
// so that its top bits are the field exactly. How each file type keeps the
// pixels is its encoder's (snapshot/).
//
// Indexed formats are decoded in two steps: unpackIndices turns the ROM's
// bytes into rows of one index byte per pixel, which the calls below take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixels/pixel_format.h"

namespace velloran {

// A palette's colours as 0xRRGGBB; an indexed format uses its first 2^bits.
using Palette = std::vector<std::uint32_t>;

// The palette an indexed format has when none is given: a grey ramp from
// black (index 0) to white (the highest index).
Palette greyRamp(unsigned indexBits);

// A format ready to decode: its tables made once, so that a pixel costs a
// load and a few lookups, with no branch on the format.
struct PixelDecoder {
  PixelFormat format;
  unsigned pixelBytes;  // per pixel in the rows the calls below take: the
                        // ROM's word, or 1 (an index, unpacked)
  // 16-bit words: every word's colour, looked up whole (indexed formats:
  // every index's, the palette as used).
  std::vector<std::uint32_t> colourOfWord;
  // Formats whose colour and alpha fields are whole bytes (rgb24, rgba, ...):
  // where each is in a pixel's bytes, so that a file's are byte copies.
  bool wholeBytes;
  unsigned byteOf[kChannels];
  // Wider words: each field's value widened to 8 bits.
  std::uint8_t widened[kChannels][256];
};

// May throw std::bad_alloc. `colourTable` makes the 16-bit colour table
// (256 KiB) that pictures, and files that widen 16-bit words, look colours
// up in. An indexed format takes the first 2^bits colours of `palette`,
// black past its end (the grey ramp when it is empty).
PixelDecoder makeDecoder(const PixelFormat& format, bool colourTable = true, const Palette& palette = {});

// The word of `bytes` bytes at `at`, in the format's byte order. Inline:
// every pixel of a row takes it.
inline std::uint32_t wordAt(const unsigned char* at, unsigned bytes, bool bigEndian) {
  std::uint32_t word = 0;
  for (unsigned index = 0; index < bytes; ++index) {
    const unsigned shift = 8 * (bigEndian ? bytes - 1 - index : index);
    word |= std::uint32_t{at[index]} << shift;
  }
  return word;
}

// A field's value in a word; 0 for a field the format does not have.
inline unsigned fieldOf(std::uint32_t word, FieldBits field) {
  return field.bits == 0 ? 0 : (word >> field.shift) & ((1u << field.bits) - 1);
}

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

}  // namespace velloran
