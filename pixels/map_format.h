// Tilemap entries: which tile goes where in a picture of 8x8 tiles,
// flipped or not, in which palette bank. A layout is a word and its fields,
// like a pixel format:
//
//   map16    le16:p12-15,v11,h10,t0-9       the default
//            15....12 11 10 9..........0
//            bank     v  h  tile
//   map16s   le16:v15,h14,o13,p10-12,t0-9
//   map16be  be16:o15,p13-14,v12,h11,t0-10
//   map8     u8:t0-7
//
// Words: u8, le16, be16. Fields: t the tile's number (needed), h a
// left-right flip, v a top-bottom flip, p the palette bank, o a bit read
// and ignored (priority); each once (o as often as wanted), none past the
// word, none on another's bits.
#pragma once

#include <cstdint>
#include <string>

#include "pixels/pixel_format.h"

namespace velloran {

struct MapFormat {
  std::string name;  // the name it was given by, or its description
  unsigned wordBytes = 2;
  bool bigEndian = false;
  FieldBits tile{0, 0};
  FieldBits flipX{0, 0};
  FieldBits flipY{0, 0};
  FieldBits bank{0, 0};
};

struct MapEntry {
  std::uint32_t tile;
  bool flipX;
  bool flipY;
  std::uint32_t bank;
};

const MapFormat& defaultMapFormat();

// Why a text is no map layout.
enum class MapFormatProblem {
  none,
  unknownLayout,   // no name, and no word before a colon
  notAField,       // no letter and bits
  pastWord,        // bits past the word's
  fieldsOverlap,
  unknownLetter,   // a letter other than t, h, v, p and o
  fieldTwice,
  flipNotOneBit,
  noTileField,
};

struct MapFormatRefusal {
  MapFormatProblem problem = MapFormatProblem::none;
  std::string text;        // the text refused
  std::string field;       // the field at fault
  unsigned wordBits = 0;   // pastWord: the word's bits
};

// A layout by its name or its description; false, with the reason, else.
bool parseMapFormat(const std::string& text, MapFormat& format, MapFormatRefusal& refusal);

// The reason in words.
std::string mapFormatRefusalText(const MapFormatRefusal& refusal);

// The entry whose word starts at `bytes`.
MapEntry mapEntryAt(const MapFormat& format, const unsigned char* bytes);

// One line a layout, as --list-formats shows them after the pixel formats.
std::string mapFormatListText();

// A pixel of colour `index` in a tile of `bits` per pixel, in `bank`: its
// index in the whole palette. 8-bit tiles have no banks.
inline std::uint32_t bankedIndex(std::uint32_t index, std::uint32_t bank, unsigned bits) {
  return bits >= 8 ? index : bank * (std::uint32_t{1} << bits) + index;
}

}  // namespace velloran
