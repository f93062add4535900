#include "dump/dump_request.h"

#include <cinttypes>
#include <cstdio>

#include "platform/platform.h"
#include "texts/numbers.h"

namespace velloran {

DumpRequest browseDefaults() {
  DumpRequest request;
  request.dumpPrefix = "./";
  request.width = 64;
  request.height = 64;
  request.imageCount = 1;
  return request;
}

std::string commandFor(const DumpRequest& request) {
  const std::string offset = offsetText(request.startAddress);
  // A ROM whose name begins with "-" must not be taken for an option.
  const std::string& rom = request.romPath;
  const std::string format =
      request.format.name == defaultFormat().name ? "" : shellWord(kFormatOption + request.format.name) + " ";
  const std::string png = request.png ? std::string(kPngOption) + " " : "";
  std::string stream;
  if (request.compression != Compression::none) {
    stream = std::string(kCompressionOption) + compressionName(request.compression) + " ";
    if (request.decodedOffset != 0) stream += kDecodedOffsetOption + std::to_string(request.decodedOffset) + " ";
  }
  std::string palette;
  if (isIndexed(request.format) && request.palette.from != PaletteFrom::greyRamp) {
    palette = shellWord(kPaletteOption + request.palette.source) + " ";
    if (request.palette.format.name != defaultFormat().name) {
      palette += shellWord(kPaletteFormatOption + request.palette.format.name) + " ";
    }
    if (request.palette.bank != 0) palette += kPaletteBankOption + std::to_string(request.palette.bank) + " ";
  }
  std::string map;
  if (request.map.given) {
    map = shellWord(kMapOption + request.map.source) + " ";
    if (request.map.format.name != defaultMapFormat().name) map += shellWord(kMapFormatOption + request.map.format.name) + " ";
    if (request.map.compression != Compression::none) {
      map += std::string(kMapCompressionOption) + compressionName(request.map.compression) + " ";
    }
    if (request.map.order == MapOrder::blocks) map += std::string(kMapOrderOption) + "blocks ";
  }
  return std::string("velloran ") + png + stream + format + map + palette + (rom[0] == '-' ? "-- " : "") + shellWord(rom) + " " +
         shellWord(request.dumpPrefix) + " " + std::to_string(request.width) + " " + std::to_string(request.height) +
         " " + std::to_string(request.imageCount) + " " + offset;
}

}  // namespace velloran
