#include "driver/scan.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "console/console_output.h"
#include "dump/dump_request.h"
#include "pixels/image_rows.h"
#include "pixels/palette_rank.h"
#include "platform/platform.h"
#include "texts/numbers.h"

namespace velloran {

namespace {

// Progress is worth showing only where a scan takes a while.
constexpr std::uint64_t kProgressFrom = std::uint64_t{16} << 20;

// The whole ROM in memory: a pipe too. False, said, when it cannot be read.
bool readWholeRom(const std::string& romPath, std::vector<unsigned char>& bytes, int& stop) {
  std::string whyNot;
  const FileHandle rom = openForReading(romPath, whyNot);
  if (!rom.isOpen()) {
    sayError(printableText(romPath) + ": " + whyNot);
    return false;
  }
  // One allocation where the length is known; a pipe is read to its end.
  std::uint64_t length = 0;
  if (fileLength(rom, length) && length < SIZE_MAX) bytes.reserve(static_cast<std::size_t>(length) + 1);
  const ReadResult read = readSourceBytes(romInOrder(rom), 0, SIZE_MAX, bytes, []() { return stopRequest() == 0; });
  stop = stopRequest();
  if (read.stopped || stop != 0) return false;
  if (read.failed) {
    sayError(printableText(romPath) + ": " + lastSystemError());
    return false;
  }
  return true;
}

// "0x00001000 lz77 4096 1432 2 velloran --browse --compression=lz77 ROM ./ 64 64 1 0x00001000"
std::string streamLine(const FoundStream& stream, const std::string& romPath) {
  DumpRequest request = browseDefaults();
  request.romPath = romPath;
  request.startAddress = stream.offset;
  request.compression = compressionOf(stream.type);
  std::string command = commandFor(request);
  command.insert(std::string("velloran ").size(), "--browse ");
  return offsetText(stream.offset) + " " + streamTypeName(stream.type) + " " + std::to_string(stream.size) + " " +
         std::to_string(stream.length) + " " + std::to_string(stream.pointers) + " " + command + "\n";
}

}  // namespace

RunResult scanForStreams(const std::string& romPath, const ScanFilters& filters) {
  catchStopRequests();
  std::vector<unsigned char> rom;
  int stop = 0;
  if (!readWholeRom(romPath, rom, stop)) return {stop != 0 ? kStatusFailed : kStatusUsage, stop};
  const bool showing = rom.size() > kProgressFrom;
  const ScanProgress progress = [&](std::uint64_t scanned) {
    if (showing) showProgress("scanning: " + std::to_string(scanned * 100 / rom.size()) + "%");
    return stopRequest() == 0;
  };
  bool stopped = false;
  const std::vector<FoundStream> found = findStreams(rom.data(), rom.size(), filters, progress, stopped);
  if (showing) showProgress("");
  if (stopped) return {kStatusFailed, stopRequest()};
  for (const FoundStream& stream : found) say(streamLine(stream, romPath));
  return {finish(found.empty() ? kStatusFailed : kStatusWritten), 0};
}

namespace {

constexpr std::size_t kPalettesListed = 20;

// The picture's indices as a dump reads them: COUNT images from START.
PictureIndices pictureOf(const std::vector<unsigned char>& rom, const DumpRequest& request) {
  const PixelFormat& format = request.format;
  PictureIndices picture = startPictureIndices(format.indexBits);
  const ByteSource source = bytesInMemory(rom.data(), rom.size());
  const std::uint64_t imageBytes = romBytesOf(format, request.width, request.height);
  std::vector<unsigned char> raw(static_cast<std::size_t>(imageBytes));
  std::vector<unsigned char> indices(std::size_t{request.width} * request.height);
  for (std::uint32_t image = 0; image < request.imageCount; ++image) {
    const std::uint64_t at = request.startAddress + image * imageBytes;
    if (at >= rom.size()) break;
    readImageRows(source, format, at, request.width, request.height, raw.data(), indices.data());
    addPictureIndices(picture, indices.data(), request.width, request.height);
  }
  return picture;
}

// "0x0003A000 palette 16 colours bgr555le 0.4123 velloran --format=t4p --palette=0x3A000 ..."
std::string paletteLine(const RankedPalette& palette, const DumpRequest& request) {
  DumpRequest with = request;
  setPaletteOffset(with.palette, palette.offset);
  with.palette.bank = 0;
  char score[32];
  std::snprintf(score, sizeof score, "%.4f", palette.score);
  return offsetText(palette.offset) + " palette " + std::to_string(1u << request.format.indexBits) + " colours " +
         request.palette.format.name + " " + score + " " + commandFor(with) + "\n";
}

}  // namespace

RunResult scanForPalettes(const DumpRequest& request) {
  if (!isIndexed(request.format)) {
    sayError("--scan=palettes: the picture's format has no palette: give an indexed one (i1 ... t8), not " +
             request.format.name);
    return {kStatusUsage, 0};
  }
  catchStopRequests();
  std::vector<unsigned char> rom;
  int stop = 0;
  if (!readWholeRom(request.romPath, rom, stop)) return {stop != 0 ? kStatusFailed : kStatusUsage, stop};
  const PictureIndices picture = pictureOf(rom, request);
  const std::uint64_t pictureBytes =
      romBytesOf(request.format, request.width, request.height) * std::uint64_t{request.imageCount};
  const std::vector<std::uint64_t> candidates =
      findPaletteCandidates(rom.data(), rom.size(), request.palette.format, request.format.indexBits);
  const std::vector<RankedPalette> ranked = rankPalettes(rom.data(), rom.size(), request.palette.format, candidates,
                                                         picture, request.startAddress, request.startAddress + pictureBytes);
  for (std::size_t index = 0; index < std::min(kPalettesListed, ranked.size()); ++index) {
    say(paletteLine(ranked[index], request));
  }
  return {finish(ranked.empty() ? kStatusFailed : kStatusWritten), 0};
}

}  // namespace velloran
