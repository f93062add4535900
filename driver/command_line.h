// The command line: options, and up to six arguments that answer the
// dialogue's questions in their order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/preview.h"
#include "console/terminal_graphics.h"
#include "dump/dump_request.h"
#include "dump/palette_source.h"
#include "pixels/pixel_format.h"
#include "streams/stream_scan.h"

namespace velloran {

enum class CommandAction { dump, scanStreams, scanPalettes, showHelp, showVersion, listFormats, listKeys, usageError };

struct CommandLine {
  CommandAction action = CommandAction::dump;
  std::vector<std::string> answers;  // the arguments that are not options, at most six
  std::string problem;               // for usageError: the argument and what is wrong with it
  bool browse = false;               // --browse: the live view instead of a dump
  bool preview = false;              // --preview: draw each snapshot in the terminal
  GraphicsChoice graphics = GraphicsChoice::automatic;  // --graphics=MODE
  std::uint32_t previewColumns = 0;  // --preview=COLUMNS; 0 for the terminal's width
  PixelFormat format = defaultFormat();  // --format=NAME
  bool png = false;                      // --png: PNG snapshots
  PaletteChoice palette;                 // --palette, --palette-format, --palette-bank
  Compression compression = Compression::none;  // --compression=TYPE
  std::uint64_t decodedOffset = 0;              // --decoded-offset=N
  ScanFilters scanFilters;                      // --pointer-base, --min-size for --scan
  MapChoice map;                                // --map, --map-format, --map-compression, --map-order
};

// Options may stand anywhere before "--"; after it everything is an answer.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// What --help and --version print.
std::string helpText();
std::string versionText();

// One line on standard error naming the problem, and one pointing to --help.
void reportUsageError(const std::string& problem);

}  // namespace velloran
