// Palette files, told apart by their first bytes:
//
//   JASC-PAL       text: "JASC-PAL", "0100", the number of colours, then a
//                  line "R G B" (0-255 each) per colour
//   GIMP Palette   text: "GIMP Palette", then lines "R G B [name]"; lines
//                  "Name:", "Columns:", "#..." and blank ones are skipped
//   RIFF ... PAL   binary: "RIFF", size, "PAL ", chunks; the "data" chunk
//                  holds a version (0x0300), the number of colours (16-bit
//                  little-endian), then R G B flags per colour
//   anything else  raw: colours in a direct format (--palette-format), one
//                  after the other
//
// A palette holds 1 to 256 colours. Pure: the caller reads the bytes.
#pragma once

#include <cstddef>
#include <string>

#include "pixels/pixel_decoder.h"

namespace velloran {

enum class PaletteKind { raw, jasc, gimp, riff };

PaletteKind paletteKindOf(const std::string& bytes);

// Each kind's name, for messages.
const char* paletteKindName(PaletteKind kind);

// Why bytes are no palette file.
enum class PaletteProblem {
  none,
  utf16,               // a text palette saved as UTF-16
  notAPaletteFile,     // no JASC, GIMP or RIFF palette at all
  jascFirstLine,
  jascVersion,
  colourCountMissing,
  tooManyColours,      // count: the colours it gives, 0 or past 256
  moreThanMost,        // more colours than a palette holds
  endsEarly,           // count colours read of `of`
  colourForm,          // a line of more than four words
  colourNumbersForm,   // a line of fewer than three
  notAChannel,         // word: no number from 0 to 255
  gimpFirstLine,
  noColours,
  riffFormType,
  riffDataShort,       // the data chunk ends before its count
  riffEndsInside,      // count: the colours the chunk says it has
  riffNoData,
  count                // not a problem: how many there are
};

struct PaletteRefusal {
  PaletteProblem problem = PaletteProblem::none;
  bool atByte = false;   // where: a byte's offset, or else a line counted from 0
  std::size_t where = 0;
  std::string word;
  std::size_t count = 0;
  std::size_t of = 0;
};

// The colours of a JASC, GIMP or RIFF palette. False, with the reason, when
// `bytes` is not a valid palette of its kind.
bool parsePaletteFile(const std::string& bytes, Palette& colours, PaletteRefusal& refusal);

// The reason in words: "line 4: ..." counted from 1, or "byte 22: ...".
std::string paletteRefusalText(const PaletteRefusal& refusal);

// The whole colours of raw `bytes` in the direct format `format`.
Palette rawPaletteColours(const PixelFormat& format, const unsigned char* bytes, std::size_t size);

// The most colours a palette holds, and the most bytes a palette file may
// have (a text palette of 256 colours with its comments is far below).
constexpr std::size_t kMostPaletteColours = 256;
constexpr std::size_t kLargestPaletteFile = std::size_t{1} << 20;

}  // namespace velloran
