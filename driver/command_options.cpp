#include "driver/command_options.h"

#include <cstdint>

#include "texts/numbers.h"

namespace velloran {

namespace {

// What the options that take a compression, or a count of bytes, take.
constexpr char kCompressionRule[] = "TYPE must be lz77, lz11, rle, huffman or auto.";
constexpr char kByteCountRule[] = "N must be a number of bytes from 0 to 16777215.";

// "--compression 'zip': TYPE must be ...": a value the option does not take.
std::string valueProblem(const char* option, const std::string& value, const char* rule) {
  return std::string(option) + " '" + value + "': " + rule;
}

bool readByteCount(const std::string& text, std::uint64_t& count) {
  return readNumber(text, NumberGrammar::dialogue, kLargestDecodedSize, count) == NumberRead::read;
}

std::string readFormatOption(const std::string& value, CommandLine& command, OptionsGiven&) {
  FormatRefusal refusal;
  return parseFormat(value, command.format, refusal) ? "" : "--format: " + formatRefusalText(refusal);
}

std::string readPaletteOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  setPaletteSource(command.palette, value);
  given.palette = true;
  return "";
}

std::string readPaletteFormatOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.paletteFormat = true;
  FormatRefusal refusal;
  return parseFormat(value, command.palette.format, refusal) ? "" : "--palette-format: " + formatRefusalText(refusal);
}

// A bank: a plain decimal number, from 0.
std::string readBankOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.bank = true;
  std::uint64_t bank = 0;
  if (readNumber(value, NumberGrammar::decimal, 999999, bank) != NumberRead::read) {
    return valueProblem("--palette-bank", value, "N must be a whole number from 0 to 999999.");
  }
  command.palette.bank = static_cast<std::uint32_t>(bank);
  return "";
}

std::string readCompressionOption(const std::string& value, CommandLine& command, OptionsGiven&) {
  return readCompression(value, command.compression) ? "" : valueProblem("--compression", value, kCompressionRule);
}

std::string readDecodedOffsetOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.decodedOffset = true;
  return readByteCount(value, command.decodedOffset) ? "" : valueProblem("--decoded-offset", value, kByteCountRule);
}

std::string readMapOption(const std::string& value, CommandLine& command, OptionsGiven&) {
  setMapSource(command.map, value);
  return "";
}

std::string readMapFormatOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.mapOption = true;
  MapFormatRefusal refusal;
  return parseMapFormat(value, command.map.format, refusal) ? "" : "--map-format: " + mapFormatRefusalText(refusal);
}

std::string readMapCompressionOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.mapOption = true;
  return readCompression(value, command.map.compression) ? ""
                                                        : valueProblem("--map-compression", value, kCompressionRule);
}

std::string readMapOrderOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.mapOption = true;
  if (value != "rows" && value != "blocks") return valueProblem("--map-order", value, "ORDER must be rows or blocks.");
  command.map.order = value == "blocks" ? MapOrder::blocks : MapOrder::rows;
  return "";
}

// "none", or the address where the ROM's byte 0 is mapped.
std::string readPointerBaseOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.scanFilter = true;
  std::uint64_t base = 0;
  if (value == "none") {
    command.scanFilters.needPointer = false;
  } else if (readNumber(value, NumberGrammar::dialogue, UINT32_MAX, base) == NumberRead::read) {
    command.scanFilters.needPointer = true;
    command.scanFilters.pointerBase = static_cast<std::uint32_t>(base);
  } else {
    return valueProblem("--pointer-base", value, "ADDRESS must be a number below 2^32, or none.");
  }
  return "";
}

std::string readMinSizeOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.scanFilter = true;
  std::uint64_t size = 0;
  if (!readByteCount(value, size)) return valueProblem("--min-size", value, kByteCountRule);
  command.scanFilters.smallestSize = static_cast<std::uint32_t>(size);
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

std::string readGraphicsOption(const std::string& value, CommandLine& command, OptionsGiven& given) {
  given.graphics = true;
  for (const GraphicsName& known : kGraphicsNames) {
    if (value == known.name) {
      command.graphics = known.choice;
      return "";
    }
  }
  return valueProblem("--graphics", value, "MODE must be auto, blocks, sixel or kitty.");
}

// The text after "--preview=": a plain decimal number of columns.
std::string readPreviewColumnsOption(const std::string& value, CommandLine& command, OptionsGiven&) {
  command.preview = true;
  std::uint64_t columns = 0;
  if (readNumber(value, NumberGrammar::decimal, kMaxPreviewColumns, columns) != NumberRead::read || columns < 1) {
    return valueProblem("--preview", value, "COLUMNS must be a whole number from 1 to 1000.");
  }
  command.previewColumns = static_cast<std::uint32_t>(columns);
  return "";
}

std::string setPreview(const std::string&, CommandLine& command, OptionsGiven&) {
  command.preview = true;
  command.previewColumns = 0;
  return "";
}

std::string setPng(const std::string&, CommandLine& command, OptionsGiven&) {
  command.png = true;
  return "";
}

std::string setBrowse(const std::string&, CommandLine& command, OptionsGiven&) {
  command.browse = true;
  return "";
}

std::string setScan(const std::string&, CommandLine&, OptionsGiven& given) {
  given.scan = true;
  return "";
}

std::string setScanPalettes(const std::string&, CommandLine&, OptionsGiven& given) {
  given.scanPalettes = true;
  return "";
}

struct OptionRow {
  const char* written;  // "--format=" for an option that takes a value, "--png" for one that does not
  ReadOption read;
};

constexpr OptionRow kOptions[] = {
    {kFormatOption, readFormatOption},
    {kPaletteOption, readPaletteOption},
    {kPaletteFormatOption, readPaletteFormatOption},
    {kPaletteBankOption, readBankOption},
    {kPngOption, setPng},
    {kCompressionOption, readCompressionOption},
    {kDecodedOffsetOption, readDecodedOffsetOption},
    {kMapOption, readMapOption},
    {kMapFormatOption, readMapFormatOption},
    {kMapCompressionOption, readMapCompressionOption},
    {kMapOrderOption, readMapOrderOption},
    {"--scan", setScan},
    {"--scan=palettes", setScanPalettes},
    {"--pointer-base=", readPointerBaseOption},
    {"--min-size=", readMinSizeOption},
    {"--browse", setBrowse},
    {"--graphics=", readGraphicsOption},
    {"--preview", setPreview},
    {"--preview=", readPreviewColumnsOption},
};

}  // namespace

ReadOption optionReader(const std::string& argument, std::string& value) {
  for (const OptionRow& row : kOptions) {
    const std::string written = row.written;
    const bool takesValue = written.back() == '=';
    if (takesValue ? argument.compare(0, written.size(), written) == 0 : argument == written) {
      value = takesValue ? argument.substr(written.size()) : "";
      return row.read;
    }
  }
  return nullptr;
}

}  // namespace velloran
