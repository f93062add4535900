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

}  // namespace velloran
