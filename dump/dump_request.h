// What a dump is asked for: the six answers, the pixels' format, its palette
// and the file type; and the command line that asks for it again, the options
// spelled here for the command line's parser and for the commands printed.
#pragma once

#include <cstdint>
#include <string>

#include "dump/map_pictures.h"
#include "dump/palette_source.h"
#include "pixels/pixel_format.h"
#include "streams/compressed_stream.h"

namespace velloran {

struct DumpRequest {
  std::string romPath;
  std::string dumpPrefix;
  // Checked once, by the dialogue or the arguments: the sizes up to
  // 2147483647, the start address up to 2^63 - 1 (a ROM may pass 2 GiB).
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t imageCount = 0;
  std::uint64_t startAddress = 0;
  PixelFormat format = defaultFormat();
  PaletteChoice palette;   // an indexed format's colours: where they come from
  Palette paletteColours;  // and the colours themselves, loaded; empty: the grey ramp
  bool png = false;        // PNG snapshots (PREFIX + snapNNNN.png) instead of BMP
  Compression compression = Compression::none;  // the images are in the stream at startAddress
  std::uint64_t decodedOffset = 0;              // and start this far into its decoded bytes
  MapChoice map;  // the images are pictures drawn from tilemaps, their tiles from startAddress
  std::string software;    // the program and its version, for a PNG's origin
};

// The options that carry a request's other choices.
constexpr const char* kFormatOption = "--format=";
constexpr const char* kPaletteOption = "--palette=";
constexpr const char* kPaletteFormatOption = "--palette-format=";
constexpr const char* kPaletteBankOption = "--palette-bank=";
constexpr const char* kPngOption = "--png";
constexpr const char* kCompressionOption = "--compression=";
constexpr const char* kDecodedOffsetOption = "--decoded-offset=";
constexpr const char* kMapOption = "--map=";
constexpr const char* kMapFormatOption = "--map-format=";
constexpr const char* kMapCompressionOption = "--map-compression=";
constexpr const char* kMapOrderOption = "--map-order=";

// What --browse takes for the answers not given: PREFIX ./, WIDTH 64,
// HEIGHT 64, COUNT 1, START 0.
DumpRequest browseDefaults();

// The command that dumps what `request` asks for, ready to paste into a shell.
std::string commandFor(const DumpRequest& request);

}  // namespace velloran
