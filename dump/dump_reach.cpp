// Where a dump's bytes come from: the ROM from its start address (a pipe or
// a device that ignores positions read forward up to it), or a stream at
// that address, decoded into memory.
#include <algorithm>

#include "dump/dump_run.h"
#include "streams/compressed_stream.h"

namespace velloran {
namespace dump_run {

namespace {

// A pipe, or a device that ignores positions, is read forward up to `start`,
// so that a ROM can come out of a decompressor.
DumpResult skipForward(Run& run, std::uint64_t start) {
  constexpr std::size_t kSkipBytes = 64 * 1024;
  const Buffer dropped = allocate(kSkipBytes);
  if (!dropped) return DumpResult{DumpEnd::noMemory, false, start};
  for (std::uint64_t skipped = 0; skipped < start;) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kSkipBytes, start - skipped));
    const ReadResult read = readFull(run.rom, dropped.get(), wanted);
    skipped += read.bytesRead;
    if (read.stopped || run.hooks.control() == DumpControl::stopNow) {
      report(run, DumpEventKind::stopped);
      return DumpResult{DumpEnd::stopped, false, start};
    }
    if (read.failed) {
      reportRomStop(run, RomStop::unreadable);
      return romStopped(RomStop::unreadable, false, start);
    }
    // Shorter than the start: the ROM's end, as for a file.
    if (read.bytesRead < wanted) {
      reportRomStop(run, RomStop::ended);
      return romStopped(RomStop::ended, true, start);
    }
  }
  return DumpResult{DumpEnd::completed, true, start};
}

}  // namespace

// Puts the ROM's read position at `start`; completed when it is there. A
// ROM read forward is read only when there are images to dump.
DumpResult moveTo(Run& run, std::uint64_t start) {
  switch (seekTo(run.rom, start)) {
    case SeekResult::reached:
      return DumpResult{DumpEnd::completed, true, start};
    case SeekResult::notSeekable:
      return run.request.imageCount > 0 ? skipForward(run, start) : DumpResult{DumpEnd::completed, true, start};
    case SeekResult::failed:
      break;
  }
  reportRomStop(run, RomStop::unreadable);
  return romStopped(RomStop::unreadable, false, start);
}


// Reads and decodes the stream at the read position; the images are then
// read from its decoded bytes, from the request's decoded offset on.
DumpResult readStream(Run& run, std::uint64_t start) {
  std::vector<unsigned char> bytes;
  // One allocation where the ROM's length is known.
  std::uint64_t length = 0;
  if (fileLength(run.rom, length) && length > start) {
    bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(length - start, kLongestStreamBytes)));
  }
  const ReadResult read = readSourceBytes(run.source, start, kLongestStreamBytes, bytes,
                                          [&run]() { return run.hooks.control() != DumpControl::stopNow; });
  if (read.stopped) {
    report(run, DumpEventKind::stopped);
    return DumpResult{DumpEnd::stopped, false, start};
  }
  if (read.failed) {
    reportRomStop(run, RomStop::unreadable);
    return romStopped(RomStop::unreadable, false, start);
  }
  DecodedStream stream = decodeStream(bytes.data(), bytes.size(), run.request.compression);
  if (stream.problem != StreamProblem::none) {
    DumpResult refused{DumpEnd::badStream, false, start};
    refused.problem = streamProblemText(stream, start, run.request.compression);
    return refused;
  }
  run.encoding.origin.compression = streamTypeName(stream.type);
  run.decoded = std::move(stream.bytes);
  run.source = bytesInMemory(run.decoded.data(), run.decoded.size());
  run.position = run.request.decodedOffset;
  return DumpResult{DumpEnd::completed, true, start};
}

}  // namespace dump_run
}  // namespace velloran
