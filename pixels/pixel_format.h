// Pixel layouts: a word of 2, 3 or 4 bytes, in either byte order, and the
// bits each field takes in it, bit 0 the least significant:
//
//   le16:x15,b10-14,g5-9,r0-4        bgr555le, the default: the word
//                                    15 14....10 9.....5 4.....0
//                                     x  blue     green   red
//   be16:r11-15,g5-10,b0-4           rgb565be
//   le32:a24-31,b16-23,g8-15,r0-7    rgba: the bytes r, g, b, a in memory
//
// Fields: r, g, b (each once), a (at most once), x (unused; as many as
// wanted); a colour or alpha field has 1 to 8 bits; fields may not overlap
// or leave the word; bits no field names count as unused. Every named
// direct-colour format is one of these descriptions.
//
// Indexed formats hold indices into a palette of 2^bits colours; plane 0
// holds an index's lowest bit, and a byte's bit 7 is its leftmost pixel
// (linear) or the leftmost pixel's bit of a plane (planar). A byte of i4:
//
//   i4    bits 7654 3210          i4r   bits 7654 3210
//              left right                    right left
//
// Linear rows start on a byte. Tiled formats fill the image with 8x8 tiles,
// left to right, then top to bottom; in a tile, the byte of row r (0-7) of
// plane p is at
//
//   t1    r                       t4b   4r + p
//   t2p   2r + p                  t4s   8p + r
//   t2s   8p + r                  t8p   16 (p / 2) + 2r + p % 2
//   t4p   16 (p / 2) + 2r + p % 2
//
// and t4, t4r, t8 are tiles of linear rows: 4, 4 and 8 bytes a row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velloran {

struct FieldBits {
  std::uint8_t shift;  // its lowest bit
  std::uint8_t bits;   // 0: the format has no such field
};

enum Channel { kRed, kGreen, kBlue, kAlpha, kChannels };

enum class IndexPacking {
  linear,            // rows of pixels, the leftmost in a byte's highest bits
  linearReversed,    // the leftmost in a byte's lowest bits
  tiles,             // 8x8 tiles of linear rows
  tilesReversed,     // the same, the leftmost pixel in a byte's lowest bits
  planarTiles,       // 8x8 tiles of bit planes
};

struct PixelFormat {
  std::string name;         // the name it was given by, or its description
  unsigned wordBytes;       // 2, 3 or 4; 0 for indexed formats
  bool bigEndian;           // the word's most significant byte first
  FieldBits fields[kChannels];
  unsigned indexBits = 0;  // 0: direct colour; 1, 2, 4 or 8: indices into a palette
  IndexPacking packing = IndexPacking::linear;
  // Planar tiles: where each plane's row 0 is in a tile, and the bytes from
  // one of a plane's rows to the next.
  std::uint8_t planeOffset[8] = {};
  std::uint8_t planeRowStride = 0;
};

inline bool isIndexed(const PixelFormat& format) {
  return format.indexBits != 0;
}

// ---- Geometry: where an image's pixels are in the ROM ----------------------

// The side of a tile, in pixels.
constexpr std::uint32_t kTileSide = 8;

// Whether the image is made of kTileSide x kTileSide tiles.
bool isTiled(const PixelFormat& format);

// The rows the ROM keeps together: a row of tiles, else 1.
unsigned stripRows(const PixelFormat& format);

// The ROM bytes of one tile.
std::uint64_t tileBytes(const PixelFormat& format);

// The bytes one step to the next pixel takes: a word, a byte of linear
// indices, or a whole tile.
std::uint64_t pixelStepBytes(const PixelFormat& format);

// The sizes that step by whole tiles in tiled formats, else by a pixel.
std::uint32_t sizeStep(const PixelFormat& format);

// Where the bytes of pixel (x, y) of an image `width` pixels wide start,
// from the image's start: its tile's, in tiled formats; the byte that holds
// it, in linear indexed ones.
std::uint64_t pixelOffset(const PixelFormat& format, std::uint32_t width, std::uint32_t x, std::uint32_t y);

// Bits per pixel in the ROM.
unsigned romBitsPerPixel(const PixelFormat& format);

// The ROM bytes of `rows` rows (a multiple of stripRows) `width` pixels wide,
// a linear row rounded up to a whole byte. Exact for any 32-bit sizes.
std::uint64_t romBytesOf(const PixelFormat& format, std::uint64_t width, std::uint64_t rows);

// The default, today's layout: bgr555le.
const PixelFormat& defaultFormat();

// Why a text is no format.
enum class FormatProblem {
  none,
  notAField,         // a field is no letter r, g, b, a or x
  fieldWithoutBits,  // a letter without its bits
  fieldNotARange,    // bits that are no range from low to high
  bitPastWord,       // a bit past the word's
  fieldsOverlap,
  fieldTwice,        // a colour's field given twice
  fieldTooWide,      // a colour's field of more than 8 bits
  fieldMissing,      // no r, g or b field
  wordUnknown,       // the word before the colon is no le16 ... be32
  unknownName,       // neither a name nor a description
  count              // not a problem: how many there are
};

struct FormatRefusal {
  FormatProblem problem = FormatProblem::none;
  std::string text;       // the text refused
  std::string part;       // the field, word or letter at fault
  unsigned bit = 0;       // bitPastWord: the bit, and the word's bits
  unsigned wordBits = 0;
};

// A format by its name (--list-formats) or by its description. False, with
// the reason, when it is neither.
bool parseFormat(const std::string& text, PixelFormat& format, FormatRefusal& refusal);

// The reason in words, naming the closest known names for an unknown one.
std::string formatRefusalText(const FormatRefusal& refusal);

// Every format's name, as --list-formats lists them.
std::vector<const char*> formatNames();

// One line a format: its name, its bits per pixel and its layout.
std::string formatListText();

// The format's field notation, or an indexed format's layout, as
// --list-formats shows it.
std::string layoutText(const PixelFormat& format);

}  // namespace velloran
