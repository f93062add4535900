#include "driver/scan.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "console/console_output.h"
#include "dump/dump_request.h"
#include "pixels/image_rows.h"
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
  DumpRequest request;
  request.romPath = romPath;
  request.dumpPrefix = "./";
  request.width = 64;
  request.height = 64;
  request.imageCount = 1;
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

}  // namespace velloran
