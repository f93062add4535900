#include "pixels/palette_file.h"

#include "texts/numbers.h"
#include "texts/texts.h"

#include <cstdint>
#include <vector>

namespace velloran {

namespace {

constexpr char kJascMagic[] = "JASC-PAL";
constexpr char kGimpMagic[] = "GIMP Palette";
constexpr char kRiffMagic[] = "RIFF";

bool startsWith(const std::string& bytes, const char* magic) {
  return bytes.compare(0, std::char_traits<char>::length(magic), magic) == 0;
}

// Whether `bytes` begin with `magic` in any case: "jasc-pal" still says what
// the file means to be, and is refused for its first line, not read as colours.
bool startsLike(const std::string& bytes, const char* magic) {
  const std::size_t length = std::char_traits<char>::length(magic);
  if (bytes.size() < length) return false;
  for (std::size_t at = 0; at < length; ++at) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(bytes[at]) != lower(magic[at])) return false;
  }
  return true;
}

// Each problem's words, in PaletteProblem's order; those that take numbers
// or a word are put together in paletteRefusalText.
constexpr Text kRefusalTexts[] = {
    Text::count,         Text::paletteUtf16,     Text::notAPaletteFile, Text::jascFirstLine, Text::jascVersion,
    Text::colourCountMissing, Text::tooManyColours, Text::tooManyColours, Text::paletteEndsEarly, Text::colourForm,
    Text::colourNumbersForm,  Text::notAChannel,   Text::gimpFirstLine,  Text::noColours,     Text::riffFormType,
    Text::riffDataShort, Text::riffEndsInside,   Text::riffNoData,
};
static_assert(sizeof kRefusalTexts / sizeof kRefusalTexts[0] == static_cast<std::size_t>(PaletteProblem::count),
              "kRefusalTexts has one entry per PaletteProblem");

// Windows editors begin a text file saved as UTF-8 with a byte order mark.
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

std::string withoutByteOrderMark(const std::string& bytes) {
  return startsWith(bytes, kUtf8Mark) ? bytes.substr(sizeof kUtf8Mark - 1) : bytes;
}

// A text palette saved as UTF-16 (its byte order mark, then J or G): not
// readable as text here, but surely no raw colours either.
bool isUtf16Text(const std::string& bytes) {
  if (bytes.size() < 4) return false;
  const auto letter = [](char c) { return c == 'J' || c == 'G' || c == 'j' || c == 'g'; };
  return (startsWith(bytes, "\xFF\xFE") && letter(bytes[2]) && bytes[3] == '\0') ||
         (startsWith(bytes, "\xFE\xFF") && bytes[2] == '\0' && letter(bytes[3]));
}

// The file's lines without their line ends (\n, \r\n or \r).
std::vector<std::string> linesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const char c = bytes[at];
    if (c == '\n' || c == '\r') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ++at;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The blank-separated words of a line.
std::vector<std::string> wordsOf(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && isBlank(line[at])) ++at;
    const std::size_t start = at;
    while (at < line.size() && !isBlank(line[at])) ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
  }
  return words;
}

// A plain decimal number up to `most`.
bool readDecimal(const std::string& word, unsigned most, unsigned& value) {
  std::uint64_t number = 0;
  if (readNumber(word, NumberGrammar::decimal, most, number) != NumberRead::read) return false;
  value = static_cast<unsigned>(number);
  return true;
}

// A problem on line `index` (counted from 0) of a text palette.
PaletteRefusal onLine(std::size_t index, PaletteProblem problem) {
  PaletteRefusal refusal;
  refusal.problem = problem;
  refusal.where = index;
  return refusal;
}

// A problem at byte `at` of a RIFF palette.
PaletteRefusal atByte(std::size_t at, PaletteProblem problem) {
  PaletteRefusal refusal = onLine(at, problem);
  refusal.atByte = true;
  return refusal;
}

PaletteRefusal withCount(PaletteRefusal refusal, std::size_t count, std::size_t of = 0) {
  refusal.count = count;
  refusal.of = of;
  return refusal;
}

// "R G B" from the first three words of line `index`.
bool readColour(const std::vector<std::string>& words, std::size_t index, std::uint32_t& colour,
                PaletteRefusal& refusal) {
  if (words.size() < 3) {
    refusal = onLine(index, PaletteProblem::colourNumbersForm);
    return false;
  }
  colour = 0;
  for (int channel = 0; channel < 3; ++channel) {
    unsigned value = 0;
    if (!readDecimal(words[static_cast<std::size_t>(channel)], 255, value)) {
      refusal = onLine(index, PaletteProblem::notAChannel);
      refusal.word = words[static_cast<std::size_t>(channel)];
      return false;
    }
    colour = colour << 8 | value;
  }
  return true;
}

bool parseJasc(const std::string& bytes, Palette& colours, PaletteRefusal& refusal) {
  const std::vector<std::string> lines = linesOf(bytes);
  if (lines.empty() || wordsOf(lines[0]) != std::vector<std::string>{kJascMagic}) {
    refusal = onLine(0, PaletteProblem::jascFirstLine);
    return false;
  }
  if (lines.size() < 2 || wordsOf(lines[1]) != std::vector<std::string>{"0100"}) {
    refusal = onLine(1, PaletteProblem::jascVersion);
    return false;
  }
  const std::vector<std::string> countWords = lines.size() < 3 ? std::vector<std::string>{} : wordsOf(lines[2]);
  unsigned count = 0;
  if (countWords.size() != 1 || !readDecimal(countWords[0], 99999, count)) {
    refusal = onLine(2, PaletteProblem::colourCountMissing);
    return false;
  }
  if (count == 0 || count > kMostPaletteColours) {
    refusal = withCount(onLine(2, PaletteProblem::tooManyColours), count);
    return false;
  }
  colours.clear();
  for (std::size_t index = 3; colours.size() < count; ++index) {
    if (index >= lines.size()) {
      refusal = withCount(onLine(index, PaletteProblem::endsEarly), colours.size(), count);
      return false;
    }
    std::uint32_t colour = 0;
    const std::vector<std::string> words = wordsOf(lines[index]);
    // A fourth number, alpha, is allowed and not used.
    if (words.size() > 4) {
      refusal = onLine(index, PaletteProblem::colourForm);
      return false;
    }
    if (!readColour(words, index, colour, refusal)) return false;
    colours.push_back(colour);
  }
  return true;
}

bool parseGimp(const std::string& bytes, Palette& colours, PaletteRefusal& refusal) {
  const std::vector<std::string> lines = linesOf(bytes);
  if (lines.empty() || lines[0].compare(0, sizeof kGimpMagic - 1, kGimpMagic) != 0) {
    refusal = onLine(0, PaletteProblem::gimpFirstLine);
    return false;
  }
  colours.clear();
  for (std::size_t index = 1; index < lines.size(); ++index) {
    const std::vector<std::string> words = wordsOf(lines[index]);
    if (words.empty() || words[0][0] == '#' || words[0] == "Name:" || words[0] == "Columns:") continue;
    std::uint32_t colour = 0;
    if (!readColour(words, index, colour, refusal)) return false;
    if (colours.size() == kMostPaletteColours) {
      refusal = withCount(onLine(index, PaletteProblem::moreThanMost), kMostPaletteColours);
      return false;
    }
    colours.push_back(colour);
  }
  if (colours.empty()) {
    refusal = onLine(lines.size(), PaletteProblem::noColours);
    return false;
  }
  return true;
}

std::uint32_t little32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

bool parseRiff(const std::string& bytes, Palette& colours, PaletteRefusal& refusal) {
  if (bytes.size() < 12 || bytes.compare(8, 4, "PAL ") != 0) {
    refusal = atByte(8, PaletteProblem::riffFormType);
    return false;
  }
  // The chunks, each id, size and data padded to an even length, up to the
  // end the RIFF header gives (or the file's, if that is shorter).
  const std::uint64_t end = std::min<std::uint64_t>(bytes.size(), std::uint64_t{little32(bytes, 4)} + 8);
  std::uint64_t at = 12;
  while (at + 8 <= end) {
    const std::uint64_t size = little32(bytes, static_cast<std::size_t>(at + 4));
    if (bytes.compare(static_cast<std::size_t>(at), 4, "data") != 0) {
      at += 8 + size + (size & 1);
      continue;
    }
    const auto data = static_cast<std::size_t>(at + 8);
    if (size < 4 || data + 4 > end) {
      refusal = atByte(data, PaletteProblem::riffDataShort);
      return false;
    }
    const unsigned count = static_cast<unsigned char>(bytes[data + 2]) | static_cast<unsigned char>(bytes[data + 3]) << 8;
    if (count == 0 || count > kMostPaletteColours) {
      refusal = withCount(atByte(data + 2, PaletteProblem::tooManyColours), count);
      return false;
    }
    if (std::uint64_t{count} * 4 + 4 > size || data + 4 + std::uint64_t{count} * 4 > end) {
      refusal = withCount(atByte(data, PaletteProblem::riffEndsInside), count);
      return false;
    }
    colours.clear();
    for (unsigned index = 0; index < count; ++index) {
      const std::size_t entry = data + 4 + 4 * std::size_t{index};
      colours.push_back(static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[entry])) << 16 |
                        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[entry + 1])) << 8 |
                        static_cast<unsigned char>(bytes[entry + 2]));
    }
    return true;
  }
  refusal = atByte(static_cast<std::size_t>(std::min<std::uint64_t>(at, bytes.size())), PaletteProblem::riffNoData);
  return false;
}

}  // namespace

PaletteKind paletteKindOf(const std::string& bytes) {
  if (isUtf16Text(bytes)) {
    const char letter = bytes[2] != '\0' ? bytes[2] : bytes[3];
    return letter == 'J' || letter == 'j' ? PaletteKind::jasc : PaletteKind::gimp;
  }
  const std::string text = withoutByteOrderMark(bytes);
  if (startsLike(text, kJascMagic)) return PaletteKind::jasc;
  if (startsLike(text, "GIMP")) return PaletteKind::gimp;
  if (startsWith(bytes, kRiffMagic)) return PaletteKind::riff;
  return PaletteKind::raw;
}

const char* paletteKindName(PaletteKind kind) {
  switch (kind) {
    case PaletteKind::jasc:
      return "JASC palette";
    case PaletteKind::gimp:
      return "GIMP palette";
    case PaletteKind::riff:
      return "RIFF palette";
    case PaletteKind::raw:
      break;
  }
  return "raw palette";
}

bool parsePaletteFile(const std::string& bytes, Palette& colours, PaletteRefusal& refusal) {
  if (isUtf16Text(bytes)) {
    refusal = onLine(0, PaletteProblem::utf16);
    return false;
  }
  switch (paletteKindOf(bytes)) {
    case PaletteKind::jasc:
      return parseJasc(withoutByteOrderMark(bytes), colours, refusal);
    case PaletteKind::gimp:
      return parseGimp(withoutByteOrderMark(bytes), colours, refusal);
    case PaletteKind::riff:
      return parseRiff(bytes, colours, refusal);
    case PaletteKind::raw:
      break;
  }
  refusal = PaletteRefusal{};
  refusal.problem = PaletteProblem::notAPaletteFile;
  return false;
}

std::string paletteRefusalText(const PaletteRefusal& refusal) {
  if (refusal.problem == PaletteProblem::none || refusal.problem == PaletteProblem::count) return "";
  if (refusal.problem == PaletteProblem::notAPaletteFile) return textOf(Text::notAPaletteFile);
  const std::string where = textWith(refusal.atByte ? Text::atByte : Text::atLine,
                                     {std::to_string(refusal.atByte ? refusal.where : refusal.where + 1)});
  const std::string most = std::to_string(kMostPaletteColours);
  switch (refusal.problem) {
    case PaletteProblem::tooManyColours:
      return where + textWith(Text::tooManyColours, {std::to_string(refusal.count), most});
    case PaletteProblem::moreThanMost:
      return where + textOf(Text::moreThan) + textWith(Text::tooManyColours, {most, most});
    case PaletteProblem::endsEarly:
      return where + textWith(Text::paletteEndsEarly, {std::to_string(refusal.count), std::to_string(refusal.of)});
    case PaletteProblem::riffEndsInside:
      return where + textWith(Text::riffEndsInside, {std::to_string(refusal.count)});
    case PaletteProblem::notAChannel:
      return where + textWith(Text::notAChannel, {refusal.word});
    default:
      return where + textOf(kRefusalTexts[static_cast<std::size_t>(refusal.problem)]);
  }
}

Palette rawPaletteColours(const PixelFormat& format, const unsigned char* bytes, std::size_t size) {
  const PixelDecoder decoder = makeDecoder(format, false);
  Palette colours(std::min(size / format.wordBytes, kMostPaletteColours));
  decodeColours(decoder, bytes, colours.size(), colours.data());
  return colours;
}

}  // namespace velloran
