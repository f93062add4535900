// libFuzzer target: the tilemap entry layouts. Whatever the text, parsing
// ends with a layout or a reason; an accepted layout has a tile field, every
// field inside its word and on bits of its own, and reads any entry to
// values its fields can hold.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pixels/map_format.h"
#include "pixels/map_picture.h"

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

std::uint32_t maskOf(velloran::FieldBits field) {
  return field.bits == 0 ? 0 : ((std::uint32_t{1} << field.bits) - 1) << field.shift;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  velloran::MapFormat format;
  velloran::MapFormatRefusal refusal;
  if (!velloran::parseMapFormat(text, format, refusal)) {
    check(refusal.problem != velloran::MapFormatProblem::none && !velloran::mapFormatRefusalText(refusal).empty());
    return 0;
  }
  check(format.wordBytes == 1 || format.wordBytes == 2);
  check(format.tile.bits > 0);
  const velloran::FieldBits fields[] = {format.tile, format.flipX, format.flipY, format.bank};
  std::uint32_t taken = 0;
  for (const velloran::FieldBits& field : fields) {
    check(field.shift + field.bits <= format.wordBytes * 8);
    check((taken & maskOf(field)) == 0);
    taken |= maskOf(field);
  }
  check(format.flipX.bits <= 1 && format.flipY.bits <= 1);
  const unsigned char entry[2] = {size > 0 ? data[0] : std::uint8_t{0}, size > 1 ? data[1] : std::uint8_t{0}};
  const velloran::MapEntry read = velloran::mapEntryAt(format, entry);
  check(read.tile < velloran::tilesNameable(format) && read.bank < (std::uint32_t{1} << format.bank.bits));
  return 0;
}
