// The palette file parsers on any bytes: never a crash, and what they accept
// holds 1 to 256 colours of 24 bits; what they refuse says why.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pixels/palette_file.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  velloran::Palette colours;
  velloran::PaletteRefusal refusal;
  if (velloran::parsePaletteFile(bytes, colours, refusal)) {
    check(!colours.empty() && colours.size() <= velloran::kMostPaletteColours);
    for (const std::uint32_t colour : colours) check(colour <= 0xFFFFFFu);
  } else {
    check(refusal.problem != velloran::PaletteProblem::none && !velloran::paletteRefusalText(refusal).empty());
  }
  const velloran::PixelFormat& format = velloran::defaultFormat();
  const velloran::Palette raw = velloran::rawPaletteColours(format, data, size);
  check(raw.size() == std::min<std::size_t>(size / 2, velloran::kMostPaletteColours));
  return 0;
}
