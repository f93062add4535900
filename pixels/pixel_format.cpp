#include "pixels/pixel_format.h"

#include <algorithm>
#include <vector>

#include "texts/numbers.h"

namespace velloran {

namespace {

// The names ffmpeg's users know, each as its description; a 16-bit word's
// fields from its most significant bit down, the wider words' bytes in
// memory order from the top.
struct NamedFormat {
  const char* name;
  const char* description;
};

constexpr NamedFormat kNamedFormats[] = {
    {"bgr555le", "le16:x15,b10-14,g5-9,r0-4"},      {"bgr555be", "be16:x15,b10-14,g5-9,r0-4"},
    {"rgb555le", "le16:x15,r10-14,g5-9,b0-4"},      {"rgb555be", "be16:x15,r10-14,g5-9,b0-4"},
    {"abgr1555le", "le16:a15,b10-14,g5-9,r0-4"},    {"abgr1555be", "be16:a15,b10-14,g5-9,r0-4"},
    {"argb1555le", "le16:a15,r10-14,g5-9,b0-4"},    {"argb1555be", "be16:a15,r10-14,g5-9,b0-4"},
    {"rgba5551le", "le16:r11-15,g6-10,b1-5,a0"},    {"rgba5551be", "be16:r11-15,g6-10,b1-5,a0"},
    {"bgra5551le", "le16:b11-15,g6-10,r1-5,a0"},    {"bgra5551be", "be16:b11-15,g6-10,r1-5,a0"},
    {"rgb565le", "le16:r11-15,g5-10,b0-4"},         {"rgb565be", "be16:r11-15,g5-10,b0-4"},
    {"bgr565le", "le16:b11-15,g5-10,r0-4"},         {"bgr565be", "be16:b11-15,g5-10,r0-4"},
    {"rgb444le", "le16:x12-15,r8-11,g4-7,b0-3"},    {"rgb444be", "be16:x12-15,r8-11,g4-7,b0-3"},
    {"bgr444le", "le16:x12-15,b8-11,g4-7,r0-3"},    {"bgr444be", "be16:x12-15,b8-11,g4-7,r0-3"},
    {"argb4444le", "le16:a12-15,r8-11,g4-7,b0-3"},  {"argb4444be", "be16:a12-15,r8-11,g4-7,b0-3"},
    {"abgr4444le", "le16:a12-15,b8-11,g4-7,r0-3"},  {"abgr4444be", "be16:a12-15,b8-11,g4-7,r0-3"},
    {"rgba4444le", "le16:r12-15,g8-11,b4-7,a0-3"},  {"rgba4444be", "be16:r12-15,g8-11,b4-7,a0-3"},
    {"bgra4444le", "le16:b12-15,g8-11,r4-7,a0-3"},  {"bgra4444be", "be16:b12-15,g8-11,r4-7,a0-3"},
    {"rgb24", "le24:b16-23,g8-15,r0-7"},            {"bgr24", "le24:r16-23,g8-15,b0-7"},
    {"rgba", "le32:a24-31,b16-23,g8-15,r0-7"},      {"bgra", "le32:a24-31,r16-23,g8-15,b0-7"},
    {"argb", "le32:b24-31,g16-23,r8-15,a0-7"},      {"abgr", "le32:r24-31,g16-23,b8-15,a0-7"},
    {"rgb0", "le32:x24-31,b16-23,g8-15,r0-7"},      {"bgr0", "le32:x24-31,r16-23,g8-15,b0-7"},
    {"0rgb", "le32:b24-31,g16-23,r8-15,x0-7"},      {"0bgr", "le32:r24-31,g16-23,b8-15,x0-7"},
};

// The indexed formats: how their pixels are packed, and the layout
// --list-formats shows. Planar tiles give each plane's row 0 and the step
// from row to row.
struct IndexedFormat {
  const char* name;
  unsigned bits;
  IndexPacking packing;
  std::uint8_t planeRowStride;
  std::uint8_t planeOffset[8];
  const char* layout;
};

constexpr IndexedFormat kIndexedFormats[] = {
    {"i1", 1, IndexPacking::linear, 0, {}, "linear, the leftmost pixel in a byte's highest bit"},
    {"i2", 2, IndexPacking::linear, 0, {}, "linear, the leftmost pixel in a byte's highest bits"},
    {"i4", 4, IndexPacking::linear, 0, {}, "linear, the leftmost pixel in a byte's high nibble"},
    {"i8", 8, IndexPacking::linear, 0, {}, "linear, a byte a pixel"},
    {"i1r", 1, IndexPacking::linearReversed, 0, {}, "linear, the leftmost pixel in a byte's lowest bit"},
    {"i2r", 2, IndexPacking::linearReversed, 0, {}, "linear, the leftmost pixel in a byte's lowest bits"},
    {"i4r", 4, IndexPacking::linearReversed, 0, {}, "linear, the leftmost pixel in a byte's low nibble"},
    {"t1", 1, IndexPacking::planarTiles, 1, {0}, "8x8 tiles of 8 bytes, a byte a row"},
    {"t2p", 2, IndexPacking::planarTiles, 2, {0, 1}, "8x8 tiles of 16 bytes: each row plane 0, plane 1"},
    {"t2s", 2, IndexPacking::planarTiles, 1, {0, 8}, "8x8 tiles of 16 bytes: 8 rows of plane 0, then of plane 1"},
    {"t4p", 4, IndexPacking::planarTiles, 2, {0, 1, 16, 17}, "8x8 tiles of 32 bytes: planes 0-1 as t2p, then planes 2-3"},
    {"t4b", 4, IndexPacking::planarTiles, 4, {0, 1, 2, 3}, "8x8 tiles of 32 bytes: each row planes 0, 1, 2, 3"},
    {"t4s", 4, IndexPacking::planarTiles, 1, {0, 8, 16, 24}, "8x8 tiles of 32 bytes: 8 rows of each plane in turn"},
    {"t8p", 8, IndexPacking::planarTiles, 2, {0, 1, 16, 17, 32, 33, 48, 49},
     "8x8 tiles of 64 bytes: four t2p blocks, planes 0-1, 2-3, 4-5, 6-7"},
    {"t4", 4, IndexPacking::tiles, 0, {}, "8x8 tiles of 32 bytes, rows as i4"},
    {"t4r", 4, IndexPacking::tilesReversed, 0, {}, "8x8 tiles of 32 bytes, rows as i4r"},
    {"t8", 8, IndexPacking::tiles, 0, {}, "8x8 tiles of 64 bytes, rows as i8"},
};

constexpr char kFieldLetters[] = "rgba";

// The bit number at `at` (at most three digits), and `at` past it.
bool readBitNumber(const std::string& text, std::size_t& at, unsigned& value) {
  if (at >= text.size()) return false;
  const std::size_t end = std::min(text.find_first_not_of("0123456789", at), at + 3);
  std::uint64_t number = 0;
  if (readNumber(std::string_view(text).substr(at, std::min(end, text.size()) - at), NumberGrammar::decimal, 999,
                 number) != NumberRead::read) {
    return false;
  }
  at = std::min(end, text.size());
  value = static_cast<unsigned>(number);
  return true;
}

FormatRefusal refused(FormatProblem problem, std::string part) {
  FormatRefusal refusal;
  refusal.problem = problem;
  refusal.part = std::move(part);
  return refusal;
}

// One field, "g5-10" or "a15": false, with the reason, when it is not one.
bool readField(const std::string& field, char& letter, unsigned& low, unsigned& high, FormatRefusal& refusal) {
  std::size_t at = 1;
  letter = field.empty() ? '\0' : field[0];
  if (std::string("rgbax").find(letter) == std::string::npos || letter == '\0') {
    refusal = refused(FormatProblem::notAField, field);
    return false;
  }
  if (!readBitNumber(field, at, low)) {
    refusal = refused(FormatProblem::fieldWithoutBits, field);
    return false;
  }
  high = low;
  if (at < field.size() && field[at] == '-') {
    ++at;
    if (!readBitNumber(field, at, high)) at = 0;
  }
  if (at != field.size() || high < low) {
    refusal = refused(FormatProblem::fieldNotARange, field);
    return false;
  }
  return true;
}

// The description after the word's name, field by field.
bool readFields(const std::string& fields, PixelFormat& format, FormatRefusal& refusal) {
  const unsigned wordBits = format.wordBytes * 8;
  std::uint64_t taken = 0;
  for (std::size_t start = 0; start <= fields.size();) {
    std::size_t end = fields.find(',', start);
    if (end == std::string::npos) end = fields.size();
    char letter = '\0';
    unsigned low = 0;
    unsigned high = 0;
    const std::string fieldText = fields.substr(start, end - start);
    if (!readField(fieldText, letter, low, high, refusal)) return false;
    if (high >= wordBits) {
      refusal = refused(FormatProblem::bitPastWord, fieldText);
      refusal.bit = high;
      refusal.wordBits = wordBits;
      return false;
    }
    const std::uint64_t bits = ((std::uint64_t{1} << (high - low + 1)) - 1) << low;
    if ((taken & bits) != 0) {
      refusal = refused(FormatProblem::fieldsOverlap, fieldText);
      return false;
    }
    taken |= bits;
    if (letter != 'x') {
      FieldBits& field = format.fields[std::string(kFieldLetters).find(letter)];
      if (field.bits != 0) {
        refusal = refused(FormatProblem::fieldTwice, std::string(1, letter));
        return false;
      }
      if (high - low + 1 > 8) {
        refusal = refused(FormatProblem::fieldTooWide, std::string(1, letter));
        return false;
      }
      field = FieldBits{static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high - low + 1)};
    }
    start = end + 1;
  }
  for (const Channel colour : {kRed, kGreen, kBlue}) {
    if (format.fields[colour].bits == 0) {
      refusal = refused(FormatProblem::fieldMissing, std::string(1, kFieldLetters[colour]));
      return false;
    }
  }
  return true;
}

bool parseDescription(const std::string& text, PixelFormat& format, FormatRefusal& refusal) {
  const std::size_t colon = text.find(':');
  const std::string word = text.substr(0, colon);
  static const char* const kWords[] = {"le16", "be16", "le24", "be24", "le32", "be32"};
  const auto known = std::find(std::begin(kWords), std::end(kWords), word);
  if (known == std::end(kWords)) {
    refusal = refused(FormatProblem::wordUnknown, word);
    return false;
  }
  format = PixelFormat{text, static_cast<unsigned>(std::stoi(word.substr(2)) / 8), word[0] == 'b', {}};
  return readFields(text.substr(colon + 1), format, refusal);
}

PixelFormat indexedFormatOf(const IndexedFormat& indexed) {
  PixelFormat format{indexed.name, 0, false, {}};
  format.indexBits = indexed.bits;
  format.packing = indexed.packing;
  format.planeRowStride = indexed.planeRowStride;
  std::copy(std::begin(indexed.planeOffset), std::end(indexed.planeOffset), std::begin(format.planeOffset));
  return format;
}

}  // namespace

const PixelFormat& defaultFormat() {
  static const PixelFormat format = [] {
    PixelFormat parsed{};
    FormatRefusal refusal;
    parseFormat(kNamedFormats[0].name, parsed, refusal);
    return parsed;
  }();
  return format;
}

bool parseFormat(const std::string& text, PixelFormat& format, FormatRefusal& refusal) {
  for (const NamedFormat& named : kNamedFormats) {
    if (text == named.name) {
      parseDescription(named.description, format, refusal);
      format.name = named.name;
      return true;
    }
  }
  for (const IndexedFormat& indexed : kIndexedFormats) {
    if (text == indexed.name) {
      format = indexedFormatOf(indexed);
      return true;
    }
  }
  if (text.find(':') == std::string::npos) {
    refusal = refused(FormatProblem::unknownName, "");
  } else if (parseDescription(text, format, refusal)) {
    return true;
  }
  refusal.text = text;
  return false;
}

std::string layoutText(const PixelFormat& format) {
  for (const NamedFormat& named : kNamedFormats) {
    if (format.name == named.name) return named.description;
  }
  for (const IndexedFormat& indexed : kIndexedFormats) {
    if (format.name == indexed.name) return indexed.layout;
  }
  return format.name;
}

// Every indexed layout packs 1, 2, 4 or 8 bits a pixel, which the unpacking
// of indices knows; another depth would be read wrong.
constexpr bool everyDepthKnown() {
  for (const IndexedFormat& indexed : kIndexedFormats) {
    if (indexed.bits != 1 && indexed.bits != 2 && indexed.bits != 4 && indexed.bits != 8) return false;
  }
  return true;
}

static_assert(everyDepthKnown(), "an indexed format has a depth the unpacking does not know");

bool isTiled(const PixelFormat& format) {
  return isIndexed(format) && format.packing != IndexPacking::linear && format.packing != IndexPacking::linearReversed;
}

unsigned stripRows(const PixelFormat& format) {
  return isTiled(format) ? kTileSide : 1;
}

std::uint64_t tileBytes(const PixelFormat& format) {
  return romBytesOf(format, kTileSide, kTileSide);
}

std::uint64_t pixelStepBytes(const PixelFormat& format) {
  if (!isIndexed(format)) return format.wordBytes;
  return isTiled(format) ? tileBytes(format) : 1;
}

std::uint32_t sizeStep(const PixelFormat& format) {
  return isTiled(format) ? kTileSide : 1;
}

std::uint64_t pixelOffset(const PixelFormat& format, std::uint32_t width, std::uint32_t x, std::uint32_t y) {
  if (!isIndexed(format)) return (std::uint64_t{y} * width + x) * format.wordBytes;
  if (isTiled(format)) return romBytesOf(format, width, y - y % kTileSide) + std::uint64_t{x / kTileSide} * tileBytes(format);
  return romBytesOf(format, width, y) + std::uint64_t{x} * format.indexBits / 8;
}

unsigned romBitsPerPixel(const PixelFormat& format) {
  return isIndexed(format) ? format.indexBits : format.wordBytes * 8;
}

std::uint64_t romBytesOf(const PixelFormat& format, std::uint64_t width, std::uint64_t rows) {
  return rows * ((width * romBitsPerPixel(format) + 7) / 8);
}

std::vector<const char*> formatNames() {
  std::vector<const char*> names;
  for (const NamedFormat& named : kNamedFormats) names.push_back(named.name);
  for (const IndexedFormat& indexed : kIndexedFormats) names.push_back(indexed.name);
  return names;
}

std::string formatListText() {
  std::string text;
  for (const NamedFormat& named : kNamedFormats) {
    PixelFormat format{};
    FormatRefusal refusal;
    parseFormat(named.name, format, refusal);
    std::string name = named.name;
    name.resize(std::max<std::size_t>(name.size() + 1, 12), ' ');
    text += name + std::to_string(format.wordBytes * 8) + "  " + named.description + "\n";
  }
  for (const IndexedFormat& indexed : kIndexedFormats) {
    std::string name = indexed.name;
    name.resize(12, ' ');
    text += name + std::to_string(indexed.bits) + (indexed.bits < 10 ? "   " : "  ") + indexed.layout + "\n";
  }
  return text;
}

}  // namespace velloran
