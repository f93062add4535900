#include "pixels/map_format.h"

#include <cctype>
#include <vector>

#include "pixels/pixel_decoder.h"
#include "texts/numbers.h"

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

bool parseDescription(const std::string& text, MapFormat& format, std::string& problem) {
  const std::size_t colon = text.find(':');
  const std::string word = text.substr(0, colon);
  const MapWord* known = nullptr;
  for (const MapWord& candidate : kMapWords) {
    if (word == candidate.name) known = &candidate;
  }
  if (known == nullptr || colon == std::string::npos) {
    problem = "unknown map layout '" + text + "'; the layouts are map16, map16s, map16be, map8, or a word "
              "(u8, le16, be16), ':' and the fields, as le16:p12-15,v11,h10,t0-9";
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
      problem = "'" + field + "' is not a field: a letter (t, h, v, p or o) and its bits, as t0-9 or h10";
      return false;
    }
    if (bits.shift + bits.bits > known->bytes * 8) {
      problem = "the field '" + field + "' is past the " + std::to_string(known->bytes * 8) + "-bit word";
      return false;
    }
    const std::uint32_t mask = ((std::uint32_t{1} << bits.bits) - 1) << bits.shift;
    if ((taken & mask) != 0) {
      problem = "the field '" + field + "' takes bits another field takes";
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
      problem = "'" + field + "': a field is t (tile), h, v (flips), p (palette bank) or o (ignored)";
      return false;
    }
    if (target->bits != 0) {
      problem = "the field '" + std::string(1, field[0]) + "' is given twice";
      return false;
    }
    if ((field[0] == 'h' || field[0] == 'v') && bits.bits != 1) {
      problem = "the flip '" + field + "' is one bit";
      return false;
    }
    *target = bits;
  }
  if (format.tile.bits == 0) {
    problem = "the layout has no tile field (t)";
    return false;
  }
  return true;
}

}  // namespace

const MapFormat& defaultMapFormat() {
  static const MapFormat format = [] {
    MapFormat parsed;
    std::string problem;
    parseMapFormat(kNamedMapFormats[0].name, parsed, problem);
    return parsed;
  }();
  return format;
}

bool parseMapFormat(const std::string& text, MapFormat& format, std::string& problem) {
  for (const NamedMapFormat& named : kNamedMapFormats) {
    if (text == named.name) {
      const bool parsed = parseDescription(named.description, format, problem);
      format.name = named.name;
      return parsed;
    }
  }
  return parseDescription(text, format, problem);
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
