#include "driver/command_line.h"

#include <cstdio>

#include "console/console_output.h"
#include "driver/questions.h"
#include "platform/platform.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {

namespace {


const std::string kPreviewOption = "--preview";
const std::string kScanOption = "--scan";
const std::string kPointerBaseOption = "--pointer-base=";
const std::string kMinSizeOption = "--min-size=";
const std::string kGraphicsOption = "--graphics=";

// What the options that take a compression, or a count of bytes, take.
constexpr char kCompressionRule[] = "': TYPE must be lz77, lz11, rle, huffman or auto.";
constexpr char kByteCountRule[] = "': N must be a number of bytes from 0 to 16777215.";

bool startsWith(const std::string& argument, const std::string& option) {
  return argument.compare(0, option.size(), option) == 0;
}

// What follows an option's "=".
std::string valueOf(const std::string& argument, const std::string& option) {
  return argument.substr(option.size());
}

// A bank: a plain decimal number, from 0.
bool readBank(const std::string& text, std::uint32_t& bank) {
  std::uint64_t value = 0;
  if (readNumber(text, NumberGrammar::decimal, 999999, value) != NumberRead::read) return false;
  bank = static_cast<std::uint32_t>(value);
  return true;
}

// The palette's options fit the formats: raw colours are direct colour, and a
// palette is for indexed pixels. Empty when they do.
std::string paletteProblem(const CommandLine& command, bool paletteGiven, bool bankGiven, bool formatGiven) {
  if (isIndexed(command.palette.format)) return "--palette-format: a palette's colours are in a direct-colour format, not " + command.palette.format.name;
  // The live view may switch to an indexed format: it keeps the palette for then.
  if ((paletteGiven || bankGiven || formatGiven) && !isIndexed(command.format) && !command.browse) {
    return "--palette, --palette-format and --palette-bank are for indexed formats (i1 ... t8), not " + command.format.name;
  }
  if (paletteGiven && command.palette.source.empty()) return "--palette: the palette's source is empty";
  return "";
}

// "none", or the address where the ROM's byte 0 is mapped.
bool readPointerBase(const std::string& text, ScanFilters& filters) {
  if (text == "none") {
    filters.needPointer = false;
    return true;
  }
  std::uint64_t base = 0;
  if (readNumber(text, NumberGrammar::dialogue, UINT32_MAX, base) != NumberRead::read) return false;
  filters.needPointer = true;
  filters.pointerBase = static_cast<std::uint32_t>(base);
  return true;
}

// The stream options fit together: the scan takes the ROM alone, and a
// decoded offset is into a stream. Empty when they do.
std::string streamProblem(const CommandLine& command, bool scan, bool scanFilterGiven, bool decodedOffsetGiven) {
  if (scan && (command.browse || command.preview || command.compression != Compression::none)) {
    return "--scan lists the streams of a ROM: not with --browse, --preview or --compression";
  }
  if (scan && command.answers.size() != 1) return "--scan takes one argument, the ROM";
  if (scanFilterGiven && !scan) return "--pointer-base and --min-size are for --scan";
  if (decodedOffsetGiven && command.compression == Compression::none) {
    return "--decoded-offset is for a stream: give --compression too";
  }
  return "";
}

// The map's options fit together and with the others. Empty when they do.
std::string mapProblem(const CommandLine& command, bool mapOptionGiven, bool bankGiven) {
  if (mapOptionGiven && !command.map.given) return "--map-format, --map-compression and --map-order are for --map";
  if (!command.map.given) return "";
  if (command.map.source.empty()) return "--map: the map's source is empty";
  if (!isTiled(command.format)) return "--map: a map arranges tiles (t1 ... t8), not " + command.format.name;
  if (command.compression != Compression::none) return "--map reads its tiles as the ROM stores them: not with --compression";
  if (bankGiven && mapNeedsByteIndices(command.map.format, command.format)) {
    return "--palette-bank: the map's entries choose the banks";
  }
  return "";
}

struct GraphicsName {
  const char* name;
  GraphicsChoice choice;
};

constexpr GraphicsName kGraphicsNames[] = {{"auto", GraphicsChoice::automatic},
                                           {"blocks", GraphicsChoice::blocks},
                                           {"sixel", GraphicsChoice::sixel},
                                           {"kitty", GraphicsChoice::kitty}};

bool readGraphics(const std::string& text, GraphicsChoice& choice) {
  for (const GraphicsName& known : kGraphicsNames) {
    if (text == known.name) {
      choice = known.choice;
      return true;
    }
  }
  return false;
}
const std::string kPreviewWithColumns = kPreviewOption + "=";

// The text after "--preview=": a plain decimal number of columns.
bool readPreviewColumns(const std::string& text, std::uint32_t& columns) {
  std::uint64_t value = 0;
  if (readNumber(text, NumberGrammar::decimal, kMaxPreviewColumns, value) != NumberRead::read || value < 1) return false;
  columns = static_cast<std::uint32_t>(value);
  return true;
}

// The command line refused, saying why.
CommandLine refusedFor(CommandLine command, std::string problem) {
  command.action = CommandAction::usageError;
  command.problem = std::move(problem);
  return command;
}

// "-5" is a negative number, which the answer's own check refuses by name.
bool isOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-' && !(argument[1] >= '0' && argument[1] <= '9');
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine command;
  bool optionsEnded = false;
  bool graphicsGiven = false;
  bool paletteGiven = false;
  bool bankGiven = false;
  bool formatGiven = false;
  bool decodedOffsetGiven = false;
  bool scan = false;
  bool scanFilterGiven = false;
  bool mapOptionGiven = false;
  bool scanPalettes = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "-h" || argument == "--help")) {
      command.action = CommandAction::showHelp;
      return command;
    } else if (!optionsEnded && argument == "--version") {
      command.action = CommandAction::showVersion;
      return command;
    } else if (!optionsEnded && argument == "--list-formats") {
      command.action = CommandAction::listFormats;
      return command;
    } else if (!optionsEnded && argument == "--list-keys") {
      command.action = CommandAction::listKeys;
      return command;
    } else if (!optionsEnded && startsWith(argument, kFormatOption)) {
      FormatRefusal refusal;
      if (!parseFormat(valueOf(argument, kFormatOption), command.format, refusal)) {
        return refusedFor(command, "--format: " + formatRefusalText(refusal));
      }
    } else if (!optionsEnded && startsWith(argument, kPaletteOption)) {
      setPaletteSource(command.palette, valueOf(argument, kPaletteOption));
      paletteGiven = true;
    } else if (!optionsEnded && startsWith(argument, kPaletteFormatOption)) {
      FormatRefusal refusal;
      formatGiven = true;
      if (!parseFormat(valueOf(argument, kPaletteFormatOption), command.palette.format, refusal)) {
        return refusedFor(command, "--palette-format: " + formatRefusalText(refusal));
      }
    } else if (!optionsEnded && startsWith(argument, kPaletteBankOption)) {
      bankGiven = true;
      if (!readBank(valueOf(argument, kPaletteBankOption), command.palette.bank)) {
        return refusedFor(command, "--palette-bank '" + valueOf(argument, kPaletteBankOption) +
                          "': N must be a whole number from 0 to 999999.");
      }
    } else if (!optionsEnded && startsWith(argument, kCompressionOption)) {
      if (!readCompression(valueOf(argument, kCompressionOption), command.compression)) {
        return refusedFor(command, "--compression '" + valueOf(argument, kCompressionOption) +
                          kCompressionRule);
      }
    } else if (!optionsEnded && startsWith(argument, kDecodedOffsetOption)) {
      decodedOffsetGiven = true;
      if (readNumber(valueOf(argument, kDecodedOffsetOption), NumberGrammar::dialogue, kLargestDecodedSize,
                     command.decodedOffset) != NumberRead::read) {
        return refusedFor(command, "--decoded-offset '" + valueOf(argument, kDecodedOffsetOption) +
                          kByteCountRule);
      }
    } else if (!optionsEnded && startsWith(argument, kMapOption)) {
      setMapSource(command.map, valueOf(argument, kMapOption));
    } else if (!optionsEnded && startsWith(argument, kMapFormatOption)) {
      mapOptionGiven = true;
      MapFormatRefusal refusal;
      if (!parseMapFormat(valueOf(argument, kMapFormatOption), command.map.format, refusal)) {
        return refusedFor(command, "--map-format: " + mapFormatRefusalText(refusal));
      }
    } else if (!optionsEnded && startsWith(argument, kMapCompressionOption)) {
      mapOptionGiven = true;
      if (!readCompression(valueOf(argument, kMapCompressionOption), command.map.compression)) {
        return refusedFor(command, "--map-compression '" + valueOf(argument, kMapCompressionOption) +
                          kCompressionRule);
      }
    } else if (!optionsEnded && startsWith(argument, kMapOrderOption)) {
      mapOptionGiven = true;
      const std::string order = valueOf(argument, kMapOrderOption);
      if (order != "rows" && order != "blocks") {
        return refusedFor(command, "--map-order '" + order + "': ORDER must be rows or blocks.");
      }
      command.map.order = order == "blocks" ? MapOrder::blocks : MapOrder::rows;
    } else if (!optionsEnded && argument == kScanOption) {
      scan = true;
    } else if (!optionsEnded && argument == kScanOption + "=palettes") {
      scanPalettes = true;
    } else if (!optionsEnded && startsWith(argument, kPointerBaseOption)) {
      scanFilterGiven = true;
      if (!readPointerBase(valueOf(argument, kPointerBaseOption), command.scanFilters)) {
        return refusedFor(command, "--pointer-base '" + valueOf(argument, kPointerBaseOption) +
                          "': ADDRESS must be a number below 2^32, or none.");
      }
    } else if (!optionsEnded && startsWith(argument, kMinSizeOption)) {
      scanFilterGiven = true;
      std::uint64_t size = 0;
      if (readNumber(valueOf(argument, kMinSizeOption), NumberGrammar::dialogue, kLargestDecodedSize, size) !=
          NumberRead::read) {
        return refusedFor(command, "--min-size '" + valueOf(argument, kMinSizeOption) +
                          kByteCountRule);
      }
      command.scanFilters.smallestSize = static_cast<std::uint32_t>(size);
    } else if (!optionsEnded && argument == kPngOption) {
      command.png = true;
    } else if (!optionsEnded && argument == "--browse") {
      command.browse = true;
    } else if (!optionsEnded && argument.compare(0, kGraphicsOption.size(), kGraphicsOption) == 0) {
      const std::string mode = argument.substr(kGraphicsOption.size());
      graphicsGiven = true;
      if (!readGraphics(mode, command.graphics)) {
        return refusedFor(command, "--graphics '" + mode + "': MODE must be auto, blocks, sixel or kitty.");
      }
    } else if (!optionsEnded && argument == kPreviewOption) {
      command.preview = true;
      command.previewColumns = 0;
    } else if (!optionsEnded && argument.compare(0, kPreviewWithColumns.size(), kPreviewWithColumns) == 0) {
      const std::string columns = argument.substr(kPreviewWithColumns.size());
      command.preview = true;
      if (!readPreviewColumns(columns, command.previewColumns)) {
        return refusedFor(command, kPreviewOption + " '" + columns + "': COLUMNS must be a whole number from 1 to 1000.");
      }
    } else if (!optionsEnded && isOption(argument)) {
      return refusedFor(command, "unknown option '" + argument + "'");
    } else if (command.answers.size() == kAnswerCount) {
      return refusedFor(command, "too many arguments: '" + argument + "' after the six answers");
    } else {
      command.answers.push_back(argument);
    }
  }
  const std::string palette = paletteProblem(command, paletteGiven, bankGiven, formatGiven);
  const std::string streams = streamProblem(command, scan, scanFilterGiven, decodedOffsetGiven);
  const std::string map = mapProblem(command, mapOptionGiven, bankGiven);
  if (!map.empty()) return refusedFor(command, map);
  if (!streams.empty()) return refusedFor(command, streams);
  if (scan) {
    command.action = CommandAction::scanStreams;
    return command;
  }
  if (scanPalettes && (command.browse || command.preview || command.answers.size() != 6)) {
    return refusedFor(command, "--scan=palettes takes the six answers of the picture: ROM PREFIX WIDTH HEIGHT COUNT START");
  }
  if (scanPalettes) {
    command.action = CommandAction::scanPalettes;
    return command;
  }
  if (!palette.empty()) return refusedFor(command, palette);
  if (graphicsGiven && !command.browse && !command.preview) return refusedFor(command, textOf(Text::graphicsWithoutPictures));
  if (command.browse && command.preview) return refusedFor(command, textOf(Text::browseWithPreview));
  if (command.browse && command.answers.empty()) return refusedFor(command, textOf(Text::browseWithoutRom));
  return command;
}

void reportUsageError(const std::string& problem) {
  sayError(printableText(problem) + "\nTry 'velloran --help' for more information.");
}

}  // namespace velloran
