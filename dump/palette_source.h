// Where an indexed format's colours come from (--palette): the grey ramp,
// an offset in the ROM, or a palette file (pixels/palette_file.h), and the
// bank of 2^bits colours taken from it.
#pragma once

#include <cstdint>
#include <string>

#include "pixels/palette_file.h"
#include "platform/platform.h"

namespace velloran {

enum class PaletteFrom { greyRamp, rom, file };

// Where the colours come from, read once from what was given (setPaletteSource).
struct PaletteChoice {
  std::string source;                    // as given, for the printed command; empty for the grey ramp
  PaletteFrom from = PaletteFrom::greyRamp;
  std::uint64_t offset = 0;              // in the ROM, or in a raw file (FILE@OFFSET)
  std::string path;                      // the file
  bool offsetGiven = false;              // the file was given as FILE@OFFSET
  PixelFormat format = defaultFormat();  // of raw colours, in the ROM or a raw file
  std::uint32_t bank = 0;                // which group of 2^bits colours, from 0
};

// Takes a source as --palette gives it: empty, the grey ramp; a number (as
// START reads them), a ROM offset; FILE@OFFSET, a raw file from OFFSET;
// anything else, a file. The format and the bank stay.
void setPaletteSource(PaletteChoice& choice, const std::string& source);

// A palette at a ROM offset, as the view takes a typed one.
void setPaletteOffset(PaletteChoice& choice, std::uint64_t offset);

struct LoadedPalette {
  Palette colours;          // 2^bits of them, black where the source had none
  std::size_t found = 0;    // how many the source held
  std::string problem;      // why none could be taken: the file or the offset and the reason
};

// The palette `choice` gives an indexed format of `indexBits`; a ROM offset
// is read from `rom` (romLength bytes). False with `problem` set when the
// source cannot be used.
bool loadPalette(const PaletteChoice& choice, unsigned indexBits, const FileHandle& rom, std::uint64_t romLength,
                 LoadedPalette& loaded);

// What standard error says of a palette with fewer colours than the format
// needs, or nothing.
std::string shortPaletteText(const LoadedPalette& loaded, unsigned indexBits);

// Moves a palette in the ROM, or in a raw file (FILE@OFFSET), by `colours`
// colours of its format; false, with the reason, before the start.
bool movePalette(PaletteChoice& choice, std::int64_t colours, std::string& problem);

// The palette as the PNG's Palette text and the printed command give it.
std::string paletteText(const PaletteChoice& choice);

}  // namespace velloran
