#include "pixels/palette_file.h"

#include "texts/numbers.h"

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

std::string lineText(std::size_t index) {
  return "line " + std::to_string(index + 1) + ": ";
}

// "R G B" from the first three words of a line.
bool readColour(const std::vector<std::string>& words, std::uint32_t& colour, std::string& problem) {
  if (words.size() < 3) {
    problem = "a colour is three numbers from 0 to 255, red, green and blue";
    return false;
  }
  colour = 0;
  for (int channel = 0; channel < 3; ++channel) {
    unsigned value = 0;
    if (!readDecimal(words[static_cast<std::size_t>(channel)], 255, value)) {
      problem = "'" + words[static_cast<std::size_t>(channel)] + "' is not a number from 0 to 255";
      return false;
    }
    colour = colour << 8 | value;
  }
  return true;
}

std::string tooManyColours(std::size_t count) {
  return std::to_string(count) + " colours; a palette holds 1 to " + std::to_string(kMostPaletteColours);
}

bool parseJasc(const std::string& bytes, Palette& colours, std::string& problem) {
  const std::vector<std::string> lines = linesOf(bytes);
  if (lines.empty() || wordsOf(lines[0]) != std::vector<std::string>{kJascMagic}) {
    problem = lineText(0) + "a JASC palette begins with the line JASC-PAL";
    return false;
  }
  if (lines.size() < 2 || wordsOf(lines[1]) != std::vector<std::string>{"0100"}) {
    problem = lineText(1) + "the version of a JASC palette is 0100";
    return false;
  }
  const std::vector<std::string> countWords = lines.size() < 3 ? std::vector<std::string>{} : wordsOf(lines[2]);
  unsigned count = 0;
  if (countWords.size() != 1 || !readDecimal(countWords[0], 99999, count)) {
    problem = lineText(2) + "the number of colours is missing";
    return false;
  }
  if (count == 0 || count > kMostPaletteColours) {
    problem = lineText(2) + tooManyColours(count);
    return false;
  }
  colours.clear();
  for (std::size_t index = 3; colours.size() < count; ++index) {
    if (index >= lines.size()) {
      problem = lineText(index) + "the file ends after " + std::to_string(colours.size()) + " of its " +
                std::to_string(count) + " colours";
      return false;
    }
    std::uint32_t colour = 0;
    std::string why;
    const std::vector<std::string> words = wordsOf(lines[index]);
    // A fourth number, alpha, is allowed and not used.
    if (words.size() > 4 || !readColour(words, colour, why)) {
      problem = lineText(index) + (why.empty() ? "a colour is three numbers, red, green and blue" : why);
      return false;
    }
    colours.push_back(colour);
  }
  return true;
}

bool parseGimp(const std::string& bytes, Palette& colours, std::string& problem) {
  const std::vector<std::string> lines = linesOf(bytes);
  if (lines.empty() || lines[0].compare(0, sizeof kGimpMagic - 1, kGimpMagic) != 0) {
    problem = lineText(0) + "a GIMP palette begins with the line GIMP Palette";
    return false;
  }
  colours.clear();
  for (std::size_t index = 1; index < lines.size(); ++index) {
    const std::vector<std::string> words = wordsOf(lines[index]);
    if (words.empty() || words[0][0] == '#' || words[0] == "Name:" || words[0] == "Columns:") continue;
    std::uint32_t colour = 0;
    std::string why;
    if (!readColour(words, colour, why)) {
      problem = lineText(index) + why;
      return false;
    }
    if (colours.size() == kMostPaletteColours) {
      problem = lineText(index) + "more than " + tooManyColours(kMostPaletteColours);
      return false;
    }
    colours.push_back(colour);
  }
  if (colours.empty()) {
    problem = lineText(lines.size()) + "the palette has no colours";
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

std::string byteText(std::size_t at) {
  return "byte " + std::to_string(at) + ": ";
}

bool parseRiff(const std::string& bytes, Palette& colours, std::string& problem) {
  if (bytes.size() < 12 || bytes.compare(8, 4, "PAL ") != 0) {
    problem = byteText(8) + "a RIFF palette has the form type 'PAL '";
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
      problem = byteText(data) + "the data chunk ends before the number of colours";
      return false;
    }
    const unsigned count = static_cast<unsigned char>(bytes[data + 2]) | static_cast<unsigned char>(bytes[data + 3]) << 8;
    if (count == 0 || count > kMostPaletteColours) {
      problem = byteText(data + 2) + tooManyColours(count);
      return false;
    }
    if (std::uint64_t{count} * 4 + 4 > size || data + 4 + std::uint64_t{count} * 4 > end) {
      problem = byteText(data) + "the file ends inside the data chunk's " + std::to_string(count) + " colours";
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
  problem = byteText(static_cast<std::size_t>(std::min<std::uint64_t>(at, bytes.size()))) +
            "the RIFF palette has no data chunk";
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

bool parsePaletteFile(const std::string& bytes, Palette& colours, std::string& problem) {
  if (isUtf16Text(bytes)) {
    problem = lineText(0) + "the palette is UTF-16 text; save it as UTF-8";
    return false;
  }
  switch (paletteKindOf(bytes)) {
    case PaletteKind::jasc:
      return parseJasc(withoutByteOrderMark(bytes), colours, problem);
    case PaletteKind::gimp:
      return parseGimp(withoutByteOrderMark(bytes), colours, problem);
    case PaletteKind::riff:
      return parseRiff(bytes, colours, problem);
    case PaletteKind::raw:
      break;
  }
  problem = "not a JASC, GIMP or RIFF palette";
  return false;
}

Palette rawPaletteColours(const PixelFormat& format, const unsigned char* bytes, std::size_t size) {
  const PixelDecoder decoder = makeDecoder(format, false);
  Palette colours(std::min(size / format.wordBytes, kMostPaletteColours));
  decodeColours(decoder, bytes, colours.size(), colours.data());
  return colours;
}

}  // namespace velloran
