#include "driver/command_line.h"

#include <cstdio>

#include "console/console_output.h"
#include "driver/questions.h"
#include "driver/version.h"
#include "platform/platform.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {

namespace {


// docs/velloran.1 is made from this text by help2man (docs/make_man_page.sh);
// a test checks that the two agree.
constexpr const char* kHelp =
    "Usage: velloran [OPTION]... [ROM [PREFIX [WIDTH [HEIGHT [COUNT [START]]]]]]\n"
    "  or:  velloran --browse ROM [PREFIX [WIDTH [HEIGHT [COUNT [START]]]]]\n"
    "  or:  velloran --scan ROM\n"
    "Pull raw images out of a ROM dump and save each one as a numbered BMP\n"
    "file, never overwriting a file that is already there. Pixels are 16-bit\n"
    "bgr555le words unless --format names another layout.\n"
    "\n"
    "Each argument answers one of six questions, in this order; the questions\n"
    "that no argument answers are asked on standard input.\n";

// After the answers' lines, which the answers' table gives.
constexpr const char* kHelpAfterAnswers =
    "\n"
    "Numbers are decimal (525), hexadecimal after 0x (0x20D) or octal after a\n"
    "leading 0 (01015). Typed into the dialogue, a path that holds blanks goes\n"
    "in double or single quotes.\n"
    "\n"
    "Options:\n"
    "      --format=FORMAT\n"
    "                 the pixels' layout: a name (bgr555le, the default;\n"
    "                 rgb565le, rgba5551be, rgb24, rgba, ...: --list-formats\n"
    "                 shows them all) or a description: the word, then each\n"
    "                 field's bits, bit 0 the lowest, as le16:r11-15,g5-10,b0-4\n"
    "                 (words le16, be16, le24, be24, le32, be32; fields r, g, b,\n"
    "                 a and x, unused; a colour or alpha has 1 to 8 bits). The\n"
    "                 BMP keeps every bit: 16-bit for 5-5-5 and 5-6-5 layouts,\n"
    "                 24-bit, or 32-bit with alpha, each field widened to 8\n"
    "                 bits by repeating its bits. Indexed formats: i1 i2 i4\n"
    "                 i8 (linear, the leftmost pixel in a byte's high bits),\n"
    "                 i1r i2r i4r (in its low bits), and 8x8 tiles t1 t2p\n"
    "                 t2s t4p t4b t4s t8p (bit planes) and t4 t4r t8 (linear\n"
    "                 rows); WIDTH and HEIGHT of tiles are multiples of 8.\n"
    "                 They are written as paletted BMP with their indices\n"
    "      --palette=SOURCE\n"
    "                 the colours of an indexed format (a grey ramp unless\n"
    "                 given): a ROM offset (a number), or a file: a JASC,\n"
    "                 GIMP or RIFF palette, or raw colours (FILE@OFFSET to\n"
    "                 start at an offset); a file named as a number is ./512\n"
    "      --palette-format=FORMAT\n"
    "                 the layout of raw palette colours: bgr555le unless given\n"
    "      --palette-bank=N\n"
    "                 the N-th group of 2^bits colours of the palette, from 0\n"
    "      --png      write PNG snapshots (PREFIX + snapNNNN.png, numbered on\n"
    "                 their own) instead of BMP: 8-bit RGB or RGBA with the\n"
    "                 format's own bits in sBIT (indexed: the indices and the\n"
    "                 palette), and where the image came from (Source,\n"
    "                 Offset, Width, Height, Format, Palette, Software) in\n"
    "                 text chunks; WIDTH and HEIGHT start at 1\n"
    "      --compression=TYPE\n"
    "                 the images are in a compressed stream whose header is at\n"
    "                 START: lz77, lz11, rle, huffman, or auto (the header\n"
    "                 says); it is decoded (at most 16 MiB) and COUNT images\n"
    "                 are read from its bytes as from a ROM holding just them\n"
    "      --decoded-offset=N\n"
    "                 the first image starts N bytes into the decoded stream\n"
    "      --scan     list the compressed streams of ROM, one line each: the\n"
    "                 offset, the type, the decoded size, the stream's length,\n"
    "                 the pointers to it, and the command that shows it. A\n"
    "                 stream counts when it is on a 4-byte boundary, decodes\n"
    "                 to exactly its size with no unused bit set, holds at\n"
    "                 least --min-size bytes (32; 0 turns it off) and the ROM\n"
    "                 holds a pointer to it (--pointer-base; none turns it off)\n"
    "      --pointer-base=ADDRESS\n"
    "                 where the ROM's byte 0 is mapped, for the pointers --scan\n"
    "                 looks for: 0x08000000 unless given, or none\n"
    "      --min-size=N\n"
    "                 the smallest decoded size --scan lists, in bytes\n"
    "      --list-formats\n"
    "                 list the formats by name, bits per pixel and layout\n"
    "      --list-keys\n"
    "                 list the keys of --browse\n"
    "      --browse   a full-screen view of the ROM in the terminal: move through\n"
    "                 it, change the size and the zoom with the keys, save what\n"
    "                 is shown; nothing is asked (PREFIX ./, WIDTH 64, HEIGHT\n"
    "                 64, COUNT 1, START 0 unless given), ? shows the keys\n"
    "      --graphics=MODE\n"
    "                 how --preview and --browse draw: auto (the default: what\n"
    "                 the terminal answers it can draw), blocks (half blocks in\n"
    "                 24-bit colour), sixel or kitty (real pixels)\n"
    "      --preview[=COLUMNS]\n"
    "                 after each snapshot is written, draw it in the terminal in\n"
    "                 24-bit colour, at most COLUMNS characters wide (1 to 1000;\n"
    "                 by default the terminal's width, or 80 off a terminal)\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "      --         end of the options: a ROM named -x.rom can follow\n"
    "\n"
    "Exit status:\n"
    "  0  every snapshot was written (--scan: a stream was found)\n"
    "  1  the run failed: the ROM did not open, a snapshot could not be written,\n"
    "     the input ended early, or standard output could not be written\n"
    "     (--scan: no stream was found)\n"
    "  2  the command line cannot be used, or the stream is not one\n"
    "  A run stopped by a signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT and every\n"
    "  other that ends a program) leaves no incomplete snapshot, then ends by\n"
    "  that signal.\n"
    "\n"
    "Example:\n"
    "  velloran examples/demo.rom out/ 64 32 4 0x20D\n";

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
      std::string problem;
      if (!parseFormat(valueOf(argument, kFormatOption), command.format, problem)) {
        command.action = CommandAction::usageError;
        command.problem = "--format: " + problem;
        return command;
      }
    } else if (!optionsEnded && startsWith(argument, kPaletteOption)) {
      setPaletteSource(command.palette, valueOf(argument, kPaletteOption));
      paletteGiven = true;
    } else if (!optionsEnded && startsWith(argument, kPaletteFormatOption)) {
      std::string problem;
      formatGiven = true;
      if (!parseFormat(valueOf(argument, kPaletteFormatOption), command.palette.format, problem)) {
        command.action = CommandAction::usageError;
        command.problem = "--palette-format: " + problem;
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
    } else if (!optionsEnded && argument == kScanOption) {
      scan = true;
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
  if (!streams.empty()) {
    command.action = CommandAction::usageError;
    command.problem = streams;
  } else if (scan) {
    command.action = CommandAction::scanStreams;
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

std::string helpText() {
  std::string text = kHelp;
  for (std::size_t index = 0; index < kAnswerCount; ++index) text += answerUsageLine(index);
  return text + kHelpAfterAnswers;
}

// As GNU tools say it; the man page takes its copyright section from here.
std::string versionText() {
  return std::string("velloran ") + VELLORAN_VERSION +
         "\n"
         "Copyright (C) 2026 The Velloran developers\n"
         "License MIT: <https://opensource.org/licenses/MIT>\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.\n";
}

void reportUsageError(const std::string& problem) {
  sayError(printableText(problem) + "\nTry 'velloran --help' for more information.");
}

}  // namespace velloran
