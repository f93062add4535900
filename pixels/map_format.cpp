#include "pixels/map_format.h"

#include <cctype>
#include <vector>

#include "pixels/pixel_decoder.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {

namespace {

struct NamedMapFormat {
  const char* name;
  const char* description;
};

constexpr NamedMapFormat kNamedMapFormats[] = {
    {"map16", "le16:p12-15,v11,h10,t0-9"},
    {"map16s", "le16:v15,h14,o13,p10-12,t0-9"},
    {"map16be", "be16:o15,p13-14,v12,h11,t0-10"},
    {"map8", "u8:t0-7"},
};

struct MapWord {
  const char* name;
  unsigned bytes;
  bool bigEndian;
};

constexpr MapWord kMapWords[] = {{"u8", 1, false}, {"le16", 2, false}, {"be16", 2, true}};

// "12" or "12-15": the field's lowest bit and its width.
bool readBits(const std::string& text, FieldBits& bits) {
  const std::size_t dash = text.find('-');
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  if (readNumber(text.substr(0, dash), NumberGrammar::decimal, 31, low) != NumberRead::read) return false;
  high = low;
  if (dash != std::string::npos &&
      readNumber(text.substr(dash + 1), NumberGrammar::decimal, 31, high) != NumberRead::read) {
    return false;
  }
  if (high < low) return false;
  bits = FieldBits{static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high - low + 1)};
  return true;
}

MapFormatRefusal refused(MapFormatProblem problem, const std::string& text, std::string field) {
  MapFormatRefusal refusal;
  refusal.problem = problem;
  refusal.text = text;
  refusal.field = std::move(field);
  return refusal;
}

bool parseDescription(const std::string& text, MapFormat& format, MapFormatRefusal& refusal) {
  const std::size_t colon = text.find(':');
  const std::string word = text.substr(0, colon);
  const MapWord* known = nullptr;
  for (const MapWord& candidate : kMapWords) {
    if (word == candidate.name) known = &candidate;
  }
  if (known == nullptr || colon == std::string::npos) {
    refusal = refused(MapFormatProblem::unknownLayout, text, "");
    return false;
  }
  format = MapFormat{text, known->bytes, known->bigEndian, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
  std::uint32_t taken = 0;  // the bits the fields so far take
  std::size_t from = colon + 1;
  while (from <= text.size()) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    const std::string field = text.substr(from, comma - from);
    from = comma + 1;
    FieldBits bits{0, 0};
    if (field.size() < 2 || !readBits(field.substr(1), bits)) {
      refusal = refused(MapFormatProblem::notAField, text, field);
      return false;
    }
    if (bits.shift + bits.bits > known->bytes * 8) {
      refusal = refused(MapFormatProblem::pastWord, text, field);
      refusal.wordBits = known->bytes * 8;
      return false;
    }
    const std::uint32_t mask = ((std::uint32_t{1} << bits.bits) - 1) << bits.shift;
    if ((taken & mask) != 0) {
      refusal = refused(MapFormatProblem::fieldsOverlap, text, field);
      return false;
    }
    taken |= mask;
    FieldBits* target = field[0] == 't'   ? &format.tile
                        : field[0] == 'h' ? &format.flipX
                        : field[0] == 'v' ? &format.flipY
                        : field[0] == 'p' ? &format.bank
                                          : nullptr;
    if (field[0] == 'o') continue;
    if (target == nullptr) {
      refusal = refused(MapFormatProblem::unknownLetter, text, field);
      return false;
    }
    if (target->bits != 0) {
      refusal = refused(MapFormatProblem::fieldTwice, text, std::string(1, field[0]));
      return false;
    }
    if ((field[0] == 'h' || field[0] == 'v') && bits.bits != 1) {
      refusal = refused(MapFormatProblem::flipNotOneBit, text, field);
      return false;
    }
    *target = bits;
  }
  if (format.tile.bits == 0) {
    refusal = refused(MapFormatProblem::noTileField, text, "");
    return false;
  }
  return true;
}

}  // namespace

const MapFormat& defaultMapFormat() {
  static const MapFormat format = [] {
    MapFormat parsed;
    MapFormatRefusal refusal;
    parseMapFormat(kNamedMapFormats[0].name, parsed, refusal);
    return parsed;
  }();
  return format;
}

bool parseMapFormat(const std::string& text, MapFormat& format, MapFormatRefusal& refusal) {
  for (const NamedMapFormat& named : kNamedMapFormats) {
    if (text == named.name) {
      const bool parsed = parseDescription(named.description, format, refusal);
      format.name = named.name;
      return parsed;
    }
  }
  return parseDescription(text, format, refusal);
}

std::string mapFormatRefusalText(const MapFormatRefusal& refusal) {
  switch (refusal.problem) {
    case MapFormatProblem::none:
      break;
    case MapFormatProblem::unknownLayout:
      return textWith(Text::mapLayoutUnknown, {refusal.text});
    case MapFormatProblem::notAField:
      return textWith(Text::mapNotAField, {refusal.field});
    case MapFormatProblem::pastWord:
      return textWith(Text::mapFieldPastWord, {refusal.field, std::to_string(refusal.wordBits)});
    case MapFormatProblem::fieldsOverlap:
      return textWith(Text::mapFieldsOverlap, {refusal.field});
    case MapFormatProblem::unknownLetter:
      return textWith(Text::mapFieldLetter, {refusal.field});
    case MapFormatProblem::fieldTwice:
      return textWith(Text::mapFieldTwice, {refusal.field});
    case MapFormatProblem::flipNotOneBit:
      return textWith(Text::mapFlipOneBit, {refusal.field});
    case MapFormatProblem::noTileField:
      return textOf(Text::mapNoTileField);
  }
  return "";
}

MapEntry mapEntryAt(const MapFormat& format, const unsigned char* bytes) {
  const std::uint32_t word = wordAt(bytes, format.wordBytes, format.bigEndian);
  return MapEntry{fieldOf(word, format.tile), fieldOf(word, format.flipX) != 0, fieldOf(word, format.flipY) != 0,
                  fieldOf(word, format.bank)};
}

std::string mapFormatListText() {
  std::string text;
  for (const NamedMapFormat& named : kNamedMapFormats) {
    std::string name = named.name;
    name.resize(12, ' ');
    text += name + (named.description[0] == 'u' ? "8    " : "16   ") + "map " + named.description + "\n";
  }
  return text;
}

}  // namespace velloran
