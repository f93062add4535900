#include "dump/palette_source.h"
#include "texts/numbers.h"
#include "texts/texts.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace velloran {

namespace {

// A whole number in START's forms, below 2^63.
bool readWholeNumber(const std::string& text, std::uint64_t& value) {
  return readNumber(text, NumberGrammar::dialogue, INT64_MAX, value) == NumberRead::read;
}

std::string hexText(std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%" PRIX64, value);
  return text;
}

// Colours from `at` on in the raw format, as many as the bytes hold.
bool readRawColours(const FileHandle& file, std::uint64_t at, const PaletteChoice& choice, std::size_t wanted,
                    LoadedPalette& loaded) {
  std::vector<unsigned char> bytes(wanted * choice.format.wordBytes);
  const ReadResult read = readAt(file, at, bytes.data(), bytes.size());
  if (read.failed) return false;
  loaded.colours = rawPaletteColours(choice.format, bytes.data(), read.bytesRead);
  return true;
}

bool loadFromFile(const PaletteChoice& choice, std::size_t wanted, LoadedPalette& loaded) {
  const std::string& path = choice.path;
  const std::uint64_t offset = choice.offset;
  // Named as the palette, so that it is not taken for the ROM.
  const std::string named = "--palette " + printableText(path);
  std::string whyNot;
  const FileHandle file = openForReading(path, whyNot, false);
  std::uint64_t length = 0;
  if (!file.isOpen() || !fileLength(file, length)) {
    loaded.problem = named + ": " + (file.isOpen() ? textOf(Text::paletteSourceNotFile) : whyNot);
    return false;
  }
  std::string head(std::min<std::uint64_t>(length, 16), '\0');
  readAt(file, 0, reinterpret_cast<unsigned char*>(&head[0]), head.size());
  const PaletteKind kind = paletteKindOf(head);
  const std::uint64_t skip = std::uint64_t{choice.bank} * wanted;
  if (kind == PaletteKind::raw) {
    const std::uint64_t start = offset + skip * choice.format.wordBytes;
    if (offset >= length) {
      loaded.problem = named + ": offset " +
                       textWith(Text::pastTheEndOf, {hexText(offset), textOf(Text::theFile), std::to_string(length)});
      return false;
    }
    if (start < length && !readRawColours(file, start, choice, wanted, loaded)) {
      loaded.problem = named + ": " + textWith(Text::cannotBeRead, {textOf(Text::theFile)});
      return false;
    }
    return true;
  }
  if (choice.offsetGiven) {
    loaded.problem = named + ": " + textWith(Text::offsetForRawPalettes, {paletteKindName(kind)});
    return false;
  }
  if (length > kLargestPaletteFile) {
    loaded.problem = named + ": " + textWith(Text::paletteFileTooLarge, {std::to_string(length), paletteKindName(kind),
                                                                        std::to_string(kLargestPaletteFile)});
    return false;
  }
  std::string bytes(static_cast<std::size_t>(length), '\0');
  const ReadResult read = readAt(file, 0, reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size());
  Palette all;
  PaletteRefusal refusal;
  if (read.failed || !parsePaletteFile(bytes.substr(0, read.bytesRead), all, refusal)) {
    loaded.problem = named + ": " +
                     (read.failed ? textWith(Text::cannotBeRead, {textOf(Text::theFile)}) : paletteRefusalText(refusal)) +
                     (read.failed ? "" : std::string(" (") + paletteKindName(kind) + ")");
    return false;
  }
  if (skip < all.size()) {
    const auto first = all.begin() + static_cast<std::ptrdiff_t>(skip);
    loaded.colours.assign(first, first + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(wanted, all.size() - skip)));
  }
  return true;
}

}  // namespace

void setPaletteSource(PaletteChoice& choice, const std::string& source) {
  choice.source = source;
  choice.offset = 0;
  choice.path.clear();
  choice.offsetGiven = false;
  if (source.empty()) {
    choice.from = PaletteFrom::greyRamp;
    return;
  }
  if (readWholeNumber(source, choice.offset)) {
    choice.from = PaletteFrom::rom;
    return;
  }
  choice.from = PaletteFrom::file;
  choice.path = source;
  const std::size_t at = source.rfind('@');
  std::uint64_t offset = 0;
  if (at != std::string::npos && at > 0 && readWholeNumber(source.substr(at + 1), offset)) {
    choice.path = source.substr(0, at);
    choice.offset = offset;
    choice.offsetGiven = true;
  }
}

void setPaletteOffset(PaletteChoice& choice, std::uint64_t offset) {
  setPaletteSource(choice, hexText(offset));
}

bool loadPalette(const PaletteChoice& choice, unsigned indexBits, const FileHandle& rom, std::uint64_t romLength,
                 LoadedPalette& loaded) {
  const std::size_t wanted = std::size_t{1} << indexBits;
  loaded = LoadedPalette{};
  const std::uint64_t offset = choice.offset;
  if (choice.from == PaletteFrom::greyRamp) {
    loaded.colours = greyRamp(indexBits);
  } else if (choice.from == PaletteFrom::rom) {
    if (offset >= romLength) {
      loaded.problem =
          "--palette " + hexText(offset) + ": " + textWith(Text::paletteOffsetPastRom, {std::to_string(romLength)});
      return false;
    }
    const std::uint64_t start = offset + std::uint64_t{choice.bank} * wanted * choice.format.wordBytes;
    if (start < romLength && !readRawColours(rom, start, choice, wanted, loaded)) {
      loaded.problem = "--palette " + hexText(offset) + ": " + textOf(Text::romUnreadableThere);
      return false;
    }
  } else if (!loadFromFile(choice, wanted, loaded)) {
    return false;
  }
  loaded.found = loaded.colours.size();
  loaded.colours.resize(wanted, 0);
  return true;
}

bool movePalette(PaletteChoice& choice, std::int64_t colours, std::string& problem) {
  std::uint64_t offset = choice.offset;
  if (choice.from == PaletteFrom::greyRamp) {
    problem = textOf(Text::greyRampCannotMove);
    return false;
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(colours < 0 ? -colours : colours) * choice.format.wordBytes;
  if (colours < 0 && bytes > offset) {
    problem = textOf(Text::paletteAtItsStart);
    return false;
  }
  offset = colours < 0 ? offset - bytes : offset + bytes;
  setPaletteSource(choice, choice.from == PaletteFrom::rom ? hexText(offset) : choice.path + "@" + hexText(offset));
  return true;
}

std::string shortPaletteText(const LoadedPalette& loaded, unsigned indexBits) {
  const std::size_t wanted = std::size_t{1} << indexBits;
  if (loaded.found >= wanted) return "";
  return textWith(Text::paletteShort, {std::to_string(loaded.found), std::to_string(wanted)});
}

std::string paletteText(const PaletteChoice& choice) {
  if (choice.from == PaletteFrom::greyRamp) return "";
  std::string text = choice.from == PaletteFrom::rom ? hexText(choice.offset) : fileNameOf(choice.source);
  if (choice.format.name != defaultFormat().name) text += ", " + choice.format.name;
  return text;
}

}  // namespace velloran
