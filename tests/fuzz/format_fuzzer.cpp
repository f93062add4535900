// libFuzzer target: the format parser, and the decoder of what it accepts.
// Whatever the text, parsing ends with a format or a reason; an accepted
// format has a word of 2 to 4 bytes and its fields in it, decodes any bytes,
// and the description it lists for itself parses to the same fields.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pixels/pixel_decoder.h"
#include "pixels/pixel_format.h"
#include "snapshot/bmp_pixels.h"

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  velloran::PixelFormat format{};
  velloran::FormatRefusal refusal;
  if (!velloran::parseFormat(text, format, refusal)) {
    check(refusal.problem != velloran::FormatProblem::none && !velloran::formatRefusalText(refusal).empty());
    return 0;
  }
  if (velloran::isIndexed(format)) {
    check(format.wordBytes == 0 && 8 % format.indexBits == 0);
    return 0;
  }
  check(format.wordBytes >= 2 && format.wordBytes <= 4);
  for (const velloran::FieldBits& field : format.fields) {
    check(field.bits <= 8 && field.shift + field.bits <= format.wordBytes * 8);
  }
  velloran::PixelFormat again{};
  check(velloran::parseFormat(velloran::layoutText(format), again, refusal));
  for (int channel = 0; channel < velloran::kChannels; ++channel) {
    check(again.fields[channel].shift == format.fields[channel].shift);
    check(again.fields[channel].bits == format.fields[channel].bits);
  }
  // The colour table only where the BMP needs it, as a dump makes it: it
  // costs an input 65,536 colours.
  const velloran::PixelDecoder decoder = velloran::makeDecoder(format, velloran::bmpNeedsColourTable(format));
  std::vector<unsigned char> raw(size * format.wordBytes + format.wordBytes);
  for (std::size_t index = 0; index < raw.size(); ++index) raw[index] = static_cast<unsigned char>(index * 37 + size);
  std::vector<std::uint32_t> colours(size + 1);
  velloran::decodeColours(decoder, raw.data(), size + 1, colours.data());
  const velloran::BmpPlan plan = velloran::planBmp(format);
  std::vector<unsigned char> file((size + 1) * plan.fileBits / 8);
  velloran::encodeBmpPixels(plan, decoder, raw.data(), size + 1, file.data());
  return 0;
}
