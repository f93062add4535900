#include "texts/texts.h"

namespace velloran {

namespace {

struct Entry {
  Text text;
  const char* words;
};

// In the enum's order; each entry names its text, so that the compiler can
// check below that none is missing or out of place.
constexpr Entry kTexts[] = {
    {Text::banner, "Welcome to the Velloran v0.002"},
    {Text::credit, "Raw 16-bit images out of ROM dumps, saved as numbered BMP files."},
    {Text::romPrompt, "Enter rom file path (128 meg): "},
    {Text::prefixPrompt, "Enter bmp dump path: "},
    {Text::widthPrompt, "Enter the bmp width: "},
    {Text::heightPrompt, "Enter the bmp height: "},
    {Text::countPrompt, "How many consecutive images to dump: "},
    {Text::dataStarts, "Data starts at: $%04X, With that in mind..."},
    {Text::startPrompt, "Enter the starting image address (base 10 or decimal): "},
    {Text::pathTooLong, "Path too long: at most 255 characters."},
    {Text::pathHasZeroByte, "Path holds a zero byte, which no file name can."},
    {Text::pathEmpty, "Empty path: a path needs at least one character."},
    {Text::unterminatedQuote, "Unterminated quote: a quoted path ends with the same quote on the same line."},
    {Text::noSuchFolder, "No such folder: "},
    {Text::notANumber, "Not a number: answer with a whole number such as 64, 0x40 or 0100."},
    {Text::tooLarge, "Number too large: at most 2147483647."},
    {Text::offsetTooLarge, "Number too large: at most 9223372036854775807."},
    {Text::negative, "Negative numbers cannot be used here."},
    {Text::inputEnded, "Input ended before all six answers were given."},
    {Text::givingUp, "Too much unusable input; giving up."},
    {Text::unableToReadAnswers, "Unable to read the answers."},
    {Text::opening, "Opening: "},
    {Text::unableToWrite, "Unable to write to file"},
    {Text::incompleteFileLeft, "Unable to remove the incomplete file: "},
    {Text::romEnded, "End of rom reached"},
    {Text::romUnreadable, "Unable to read rom"},
    {Text::noMemory, "Unable to allocate mem"},
    {Text::fileNotFound, "file not found"},
    {Text::interrupted, "Interrupted"},
    {Text::pngStartsAtOne, "A PNG image has at least one pixel: width and height start at 1."},
    {Text::graphicsWithoutPictures, "--graphics is for --preview and --browse"},
    {Text::browseWithPreview, "--browse and --preview cannot be used together"},
    {Text::browseWithoutRom, "--browse needs a ROM"},
    {Text::browseOffTerminal, "--browse needs a terminal on standard input and standard output"},
    {Text::browseWithoutColours, "--browse needs a terminal that shows colours, and TERM is unset, empty or dumb"},
    {Text::browseRomCannotSeek, "--browse needs a ROM it can seek in, not a pipe or a terminal"},
    {Text::noPictures, "this terminal cannot show pictures; --preview draws none"},
    {Text::fileTooLarge, "Image too large: its BMP file must stay within 4294967295 bytes."},
    {Text::startsAtOne, "Width and height start at 1."},
    {Text::pastTheEnd, "Past the ROM's end: an offset must be below its size."},
    {Text::beforeTheStart, "Before the ROM's start."},
    {Text::viewNotANumber, "Not a number: type one as 525, or in hex as 0x20D, $20D, 20Dh, 020D or 1A3460."},
    {Text::zoomForms, "A zoom is 1:N to see more, N:1 to see it larger: 1:35, 4:1."},
    {Text::offsetPrompt, "Offset (hex with 0x, $, h, a leading 0 or a letter A-F): "},
    {Text::viewWidthPrompt, "Width: "},
    {Text::viewHeightPrompt, "Height: "},
    {Text::zoomPrompt, "Zoom (1:N or N:1): "},
    {Text::formatPrompt, "Format (a name or a description as le16:r11-15,g5-10,b0-4): "},
    {Text::palettePrompt, "Palette (a ROM offset, hex with 0x, $, h, a leading 0 or a letter A-F; or a file): "},
    {Text::saving, "Saving..."},
    {Text::nothingSaved, "Nothing saved"},
    {Text::firstBank, "Bank 0 is the first."},
    {Text::greyRampCannotMove, "The grey ramp cannot move: p takes a palette from the ROM or a file."},
    {Text::paletteAtItsStart, "The palette is at its start."},
    {Text::terminalNotSet, "the terminal cannot be set for --browse"},
    {Text::noEarlierPlace, "No earlier place: u goes back after a jump (o W H M Z p, a click)."},
    {Text::noLaterPlace, "No later place: U goes forward again after u."},
    {Text::savesPng, "Saves are PNG files now (t: BMP)."},
    {Text::savesBmp, "Saves are BMP files now (t: PNG)."},
    {Text::streamAt, "the stream at "},
    {Text::streamFine, "decodes"},
    {Text::streamNotThatType, "its header's type byte 0x%02X is not that of "},
    {Text::streamNotAStream,
     "its header's type byte is not that of a stream: lz77 0x10, lz11 0x11, rle 0x30, huffman 0x24 or 0x28"},
    {Text::streamEmpty, "its header gives a decoded size of 0"},
    {Text::streamCopyBeforeStart, "a copy from before the decoded bytes' start, at "},
    {Text::streamEndsInside, "the ROM ends inside the stream, at "},
    {Text::streamTreeOutside, "a node of its huffman tree points outside the tree, at "},
    {Text::noStreamAfter, "No stream after this offset (d: the streams --scan lists)."},
    {Text::noStreamBefore, "No stream before this offset (D: the streams --scan lists)."},
    {Text::streamOpensWithC, ": c decodes it"},
    {Text::tileNotHeld, "--map: an entry names a tile past the ROM's end; it is drawn in colour 0"},
    {Text::noMap, "No map to draw: start the view with --map."},
    {Text::mapNotInStream, "A map draws the ROM's tiles: c and a go one at a time."},
    {Text::paletteForIndexed, "A palette is for indexed formats (m or M: i1 ... t8)."},
    {Text::noPaletteFound, "No palette found in the ROM for this picture."},
    {Text::noMorePalettes, "No more palettes found (N: back)."},
    {Text::bestPaletteShown, "This is the best palette found (n: the next)."},
    {Text::imageTooLargeIndexed, "Image too large: width x height x %s / 8 must stay within 2147483647 bytes."},
    {Text::imageTooLargeDirect, "Image too large: width x height x %s must stay within 2147483647 bytes."},
    {Text::notWholeTiles, "The format %s is made of 8x8 tiles: width and height must be multiples of 8."},
    {Text::tilesTooWide, "Image too large: tiles are read a row of tiles at a time, at most %s pixels wide."},
    {Text::notAField, "a field is r, g, b, a or x and its bits, as g5-10, not '%s'"},
    {Text::fieldWithoutBits, "the field '%s' has no bits, as in g5-10"},
    {Text::fieldNotARange, "the field '%s' is not a letter and a bit range from low to high, as g5-10"},
    {Text::bitPastWord, "bit %s is past the %s-bit word"},
    {Text::fieldsOverlap, "the fields overlap at '%s'"},
    {Text::fieldTwice, "the field %s is given twice"},
    {Text::fieldTooWide, "the field %s has more than 8 bits"},
    {Text::fieldMissing, "there is no %s field"},
    {Text::wordUnknown, "the word is le16, be16, le24, be24, le32 or be32, not '%s'"},
    {Text::notAFormat, "'%s' is no format: "},
    {Text::unknownFormat, "unknown format '%s'; "},
    {Text::closestFormats, "the closest: %s (--list-formats shows them all)"},
    {Text::allFormatsListed, "--list-formats shows them all"},
    {Text::atLine, "line %s: "},
    {Text::atByte, "byte %s: "},
    {Text::paletteUtf16, "the palette is UTF-16 text; save it as UTF-8"},
    {Text::notAPaletteFile, "not a JASC, GIMP or RIFF palette"},
    {Text::jascFirstLine, "a JASC palette begins with the line JASC-PAL"},
    {Text::jascVersion, "the version of a JASC palette is 0100"},
    {Text::colourCountMissing, "the number of colours is missing"},
    {Text::tooManyColours, "%s colours; a palette holds 1 to %s"},
    {Text::moreThan, "more than "},
    {Text::paletteEndsEarly, "the file ends after %s of its %s colours"},
    {Text::colourForm, "a colour is three numbers, red, green and blue"},
    {Text::colourNumbersForm, "a colour is three numbers from 0 to 255, red, green and blue"},
    {Text::notAChannel, "'%s' is not a number from 0 to 255"},
    {Text::gimpFirstLine, "a GIMP palette begins with the line GIMP Palette"},
    {Text::noColours, "the palette has no colours"},
    {Text::riffFormType, "a RIFF palette has the form type 'PAL '"},
    {Text::riffDataShort, "the data chunk ends before the number of colours"},
    {Text::riffEndsInside, "the file ends inside the data chunk's %s colours"},
    {Text::riffNoData, "the RIFF palette has no data chunk"},
    {Text::mapLayoutUnknown,
     "unknown map layout '%s'; the layouts are map16, map16s, map16be, map8, or a word (u8, le16, be16), ':' and "
     "the fields, as le16:p12-15,v11,h10,t0-9"},
    {Text::mapNotAField, "'%s' is not a field: a letter (t, h, v, p or o) and its bits, as t0-9 or h10"},
    {Text::mapFieldPastWord, "the field '%s' is past the %s-bit word"},
    {Text::mapFieldsOverlap, "the field '%s' takes bits another field takes"},
    {Text::mapFieldLetter, "'%s': a field is t (tile), h, v (flips), p (palette bank) or o (ignored)"},
    {Text::mapFieldTwice, "the field '%s' is given twice"},
    {Text::mapFlipOneBit, "the flip '%s' is one bit"},
    {Text::mapNoTileField, "the layout has no tile field (t)"},
    {Text::theRom, "the ROM"},
    {Text::theFile, "the file"},
    {Text::cannotBeRead, "%s could not be read"},
    {Text::paletteSourceNotFile, "not a file a palette can be read from"},
    {Text::pastTheEndOf, "%s is past %s's end (%s bytes)"},
    {Text::offsetForRawPalettes, "an @OFFSET is for raw palettes, and this is a %s"},
    {Text::paletteFileTooLarge, "%s bytes is too large for a %s (at most %s)"},
    {Text::paletteOffsetPastRom, "past the ROM's end (%s bytes); a palette offset must be below its size"},
    {Text::romUnreadableThere, "the ROM could not be read there"},
    {Text::paletteShort, "the palette has %s of the %s colours the format needs; the rest are black"},
    {Text::mapNeedsSeek, "a map needs a file that can seek, not a pipe"},
    {Text::mapEndsPast, "the map's %s bytes end past %s's end (%s bytes)"},
    {Text::decodedMapShort, "the decoded map holds %s bytes; the pictures need %s"},
    {Text::mapNeedsTiles, "a map arranges tiles (t1 ... t8), not %s"},
    {Text::bankTooWide, "%s bits of bank with %s-bit tiles make more than 256 colours"},
    {Text::mapPicturesTooLarge, "%s pictures of %sx%s take more than 256 MiB; ask for fewer at a time"},
};

constexpr bool everyTextInPlace() {
  if (sizeof kTexts / sizeof kTexts[0] != static_cast<std::size_t>(Text::count)) return false;
  for (std::size_t index = 0; index < sizeof kTexts / sizeof kTexts[0]; ++index) {
    if (static_cast<std::size_t>(kTexts[index].text) != index) return false;
  }
  return true;
}

static_assert(everyTextInPlace(), "kTexts has one entry per Text, in the enum's order");

}  // namespace

const char* textOf(Text text) {
  return kTexts[static_cast<std::size_t>(text)].words;
}

std::string textWith(Text text, std::initializer_list<std::string_view> words) {
  const std::string_view format = textOf(text);
  std::string filled;
  const std::string_view* next = words.begin();
  std::size_t start = 0;
  for (std::size_t at = format.find("%s"); at != std::string_view::npos; at = format.find("%s", start)) {
    filled.append(format.substr(start, at - start));
    if (next != words.end()) filled.append(*next++);
    start = at + 2;
  }
  filled.append(format.substr(start));
  return filled;
}

}  // namespace velloran
