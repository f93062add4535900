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
        command.action = CommandAction::usageError;
        command.problem = "--format: " + formatRefusalText(refusal);
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kPaletteOption)) {
      setPaletteSource(command.palette, valueOf(argument, kPaletteOption));
      paletteGiven = true;
    } else if (!optionsEnded && startsWith(argument, kPaletteFormatOption)) {
      FormatRefusal refusal;
      formatGiven = true;
      if (!parseFormat(valueOf(argument, kPaletteFormatOption), command.palette.format, refusal)) {
        command.action = CommandAction::usageError;
        command.problem = "--palette-format: " + formatRefusalText(refusal);
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kPaletteBankOption)) {
      bankGiven = true;
      if (!readBank(valueOf(argument, kPaletteBankOption), command.palette.bank)) {
        command.action = CommandAction::usageError;
        command.problem = "--palette-bank '" + valueOf(argument, kPaletteBankOption) +
                          "': N must be a whole number from 0 to 999999.";
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kCompressionOption)) {
      if (!readCompression(valueOf(argument, kCompressionOption), command.compression)) {
        command.action = CommandAction::usageError;
        command.problem = "--compression '" + valueOf(argument, kCompressionOption) +
                          "': TYPE must be lz77, lz11, rle, huffman or auto.";
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kDecodedOffsetOption)) {
      decodedOffsetGiven = true;
      if (readNumber(valueOf(argument, kDecodedOffsetOption), NumberGrammar::dialogue, kLargestDecodedSize,
                     command.decodedOffset) != NumberRead::read) {
        command.action = CommandAction::usageError;
        command.problem = "--decoded-offset '" + valueOf(argument, kDecodedOffsetOption) +
                          "': N must be a number of bytes from 0 to 16777215.";
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kMapOption)) {
      setMapSource(command.map, valueOf(argument, kMapOption));
    } else if (!optionsEnded && startsWith(argument, kMapFormatOption)) {
      mapOptionGiven = true;
      MapFormatRefusal refusal;
      if (!parseMapFormat(valueOf(argument, kMapFormatOption), command.map.format, refusal)) {
        command.action = CommandAction::usageError;
        command.problem = "--map-format: " + mapFormatRefusalText(refusal);
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kMapCompressionOption)) {
      mapOptionGiven = true;
      if (!readCompression(valueOf(argument, kMapCompressionOption), command.map.compression)) {
        command.action = CommandAction::usageError;
        command.problem = "--map-compression '" + valueOf(argument, kMapCompressionOption) +
                          "': TYPE must be lz77, lz11, rle, huffman or auto.";
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kMapOrderOption)) {
      mapOptionGiven = true;
      const std::string order = valueOf(argument, kMapOrderOption);
      if (order != "rows" && order != "blocks") {
        command.action = CommandAction::usageError;
        command.problem = "--map-order '" + order + "': ORDER must be rows or blocks.";
        return command;
      }
      command.map.order = order == "blocks" ? MapOrder::blocks : MapOrder::rows;
    } else if (!optionsEnded && argument == kScanOption) {
      scan = true;
    } else if (!optionsEnded && argument == kScanOption + "=palettes") {
      scanPalettes = true;
    } else if (!optionsEnded && startsWith(argument, kPointerBaseOption)) {
      scanFilterGiven = true;
      if (!readPointerBase(valueOf(argument, kPointerBaseOption), command.scanFilters)) {
        command.action = CommandAction::usageError;
        command.problem = "--pointer-base '" + valueOf(argument, kPointerBaseOption) +
                          "': ADDRESS must be a number below 2^32, or none.";
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kMinSizeOption)) {
      scanFilterGiven = true;
      std::uint64_t size = 0;
      if (readNumber(valueOf(argument, kMinSizeOption), NumberGrammar::dialogue, kLargestDecodedSize, size) !=
          NumberRead::read) {
        command.action = CommandAction::usageError;
        command.problem = "--min-size '" + valueOf(argument, kMinSizeOption) +
                          "': N must be a number of bytes from 0 to 16777215.";
        return command;
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
        command.action = CommandAction::usageError;
        command.problem = "--graphics '" + mode + "': MODE must be auto, blocks, sixel or kitty.";
        return command;
      }
    } else if (!optionsEnded && argument == kPreviewOption) {
      command.preview = true;
      command.previewColumns = 0;
    } else if (!optionsEnded && argument.compare(0, kPreviewWithColumns.size(), kPreviewWithColumns) == 0) {
      const std::string columns = argument.substr(kPreviewWithColumns.size());
      command.preview = true;
      if (!readPreviewColumns(columns, command.previewColumns)) {
        command.action = CommandAction::usageError;
        command.problem = kPreviewOption + " '" + columns + "': COLUMNS must be a whole number from 1 to 1000.";
        return command;
      }
    } else if (!optionsEnded && isOption(argument)) {
      command.action = CommandAction::usageError;
      command.problem = "unknown option '" + argument + "'";
      return command;
    } else if (command.answers.size() == kAnswerCount) {
      command.action = CommandAction::usageError;
      command.problem = "too many arguments: '" + argument + "' after the six answers";
      return command;
    } else {
      command.answers.push_back(argument);
    }
  }
  const std::string palette = paletteProblem(command, paletteGiven, bankGiven, formatGiven);
  const std::string streams = streamProblem(command, scan, scanFilterGiven, decodedOffsetGiven);
  const std::string map = mapProblem(command, mapOptionGiven, bankGiven);
  if (!map.empty()) {
    command.action = CommandAction::usageError;
    command.problem = map;
  } else if (!streams.empty()) {
    command.action = CommandAction::usageError;
    command.problem = streams;
  } else if (scan) {
    command.action = CommandAction::scanStreams;
  } else if (scanPalettes && (command.browse || command.preview || command.answers.size() != 6)) {
    command.action = CommandAction::usageError;
    command.problem = "--scan=palettes takes the six answers of the picture: ROM PREFIX WIDTH HEIGHT COUNT START";
  } else if (scanPalettes) {
    command.action = CommandAction::scanPalettes;
  } else if (!palette.empty()) {
    command.action = CommandAction::usageError;
    command.problem = palette;
  } else if (graphicsGiven && !command.browse && !command.preview) {
    command.action = CommandAction::usageError;
    command.problem = textOf(Text::graphicsWithoutPictures);
  } else if (command.browse && command.preview) {
    command.action = CommandAction::usageError;
    command.problem = textOf(Text::browseWithPreview);
  } else if (command.browse && command.answers.empty()) {
    command.action = CommandAction::usageError;
    command.problem = textOf(Text::browseWithoutRom);
  }
  return command;
}

void reportUsageError(const std::string& problem) {
  sayError(printableText(problem) + "\nTry 'velloran --help' for more information.");
}

}  // namespace velloran
