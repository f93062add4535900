#include "dump/dump.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "pixels/image_rows.h"
#include "snapshot/snapshot_encoder.h"
#include "streams/compressed_stream.h"
#include "texts/texts.h"

namespace velloran {

namespace {

using Buffer = std::unique_ptr<unsigned char[]>;

Buffer allocate(std::size_t bytes) {
  return Buffer(new (std::nothrow) unsigned char[bytes]);
}

// Everything one dump works with. Its two buffers hold one block each, so a
// dump needs the same few MiB whatever the image's size.
struct Run {
  const FileHandle& rom;
  ByteSource source;  // the ROM from the start on
  const DumpRequest& request;
  const DumpHooks& hooks;
  const PixelDecoder& decoder;
  ImageShape shape;
  const SnapshotEncoder& encoder;  // BMP or PNG, as the request says
  EncoderState& encoding;
  std::vector<unsigned char> decoded;  // the stream's bytes, when the images are in one
  Buffer raw;        // one block of ROM bytes
  Buffer unpacked;   // indexed formats: the block's indices, a byte each
  bool listed;  // the prefix's folder was listed, or tried
  TakenNumbers taken;
  std::int32_t snapshotNumber;
  std::uint64_t position;  // the ROM's read position
  bool romEnded;           // the ROM gave its last byte
  const MapPictures* pictures = nullptr;  // the images are these, drawn from maps
};

void report(const Run& run, DumpEventKind kind, std::string_view name = {}) {
  DumpEvent event{kind, name};
  run.hooks.report(event);
}

void reportRomStop(const Run& run, RomStop stop) {
  DumpEvent event{DumpEventKind::romStopped, {}};
  event.rom = stop;
  run.hooks.report(event);
}

DumpResult romStopped(RomStop stop, bool allWritten, std::uint64_t position) {
  return DumpResult{DumpEnd::romStopped, allWritten, position, stop};
}

void reportFailure(const Run& run, const SnapshotFile& snapshot, DumpProblem problem, bool fileLeftBehind,
                   const std::string& why = "") {
  DumpEvent event{DumpEventKind::snapshotFailed, snapshot.name, problem};
  event.fileLeftBehind = fileLeftBehind;
  event.why = why;
  run.hooks.report(event);
}

// The block's pixels as the decoder and the writers take them.
const unsigned char* pixelsOf(const Run& run) {
  return run.unpacked ? run.unpacked.get() : run.raw.get();
}

enum class ReadEnd { read, nothing, failed, stopped };

// Reads one block's ROM bytes; those past the ROM's end are zeros. `nothing`
// when the ROM had no byte left for the first block of an image.
ReadEnd readBlock(Run& run, const ImageBlock& block, bool firstOfImage = false) {
  // Once the ROM has ended it is not asked again: a terminal would wait for more.
  const ByteSource source = run.romEnded ? bytesInMemory(nullptr, 0) : run.source;
  const ReadResult read = readImageRows(source, run.decoder.format, run.position, block.columnCount, block.rowCount,
                                        run.raw.get(), run.unpacked.get());
  run.position += read.bytesRead;
  if (read.stopped) return ReadEnd::stopped;
  if (read.failed) return ReadEnd::failed;
  const std::size_t wanted = rawBytesOf(run.shape, block);
  run.romEnded = run.romEnded || read.bytesRead < wanted;
  if (firstOfImage && read.bytesRead == 0 && wanted > 0) return ReadEnd::nothing;
  DumpEvent rows{DumpEventKind::imageRows, {}};
  rows.block = block;
  rows.pixels = pixelsOf(run);
  run.hooks.report(rows);
  return ReadEnd::read;
}

enum class ImageEnd { written, failed, stopped, romUnreadable, noBytesLeft };

ImageEnd endOfRead(Run& run, ReadEnd read) {
  if (read == ReadEnd::stopped) return ImageEnd::stopped;
  reportRomStop(run, RomStop::unreadable);
  return ImageEnd::romUnreadable;
}

// After a snapshot failed, the rest of its image is still read, so that the
// next image starts where it should, also on a pipe.
ImageEnd readPast(Run& run, ImageBlock block) {
  while (nextBlock(run.shape, block)) {
    if (run.hooks.control() == DumpControl::stopNow) return ImageEnd::stopped;
    const ReadEnd read = readBlock(run, block);
    if (read == ReadEnd::stopped || read == ReadEnd::failed) return endOfRead(run, read);
  }
  return ImageEnd::failed;
}

// A snapshot given up for a stop or a read error is removed; only a removal
// that fails is worth a word.
void discard(Run& run, SnapshotFile& snapshot) {
  if (!discardSnapshotFile(snapshot)) reportFailure(run, snapshot, DumpProblem::incompleteFileLeft, true);
}

// A snapshot that cannot be completed is never left behind, not even empty,
// unless the system refuses to remove it.
ImageEnd giveUp(Run& run, SnapshotFile& snapshot, const ImageBlock& block) {
  const std::string why = lastSystemError();  // before the removal's calls
  reportFailure(run, snapshot, DumpProblem::unableToWrite, !discardSnapshotFile(snapshot), why);
  return readPast(run, block);
}

// The image's blocks into its new file, then the file finished.
ImageEnd writeImage(Run& run, SnapshotFile& snapshot, ImageBlock& block) {
  bool zeros = false;  // the block lies wholly past the ROM's end
  for (;;) {
    if (!run.encoder.addBlock(run.encoding, snapshot, run.decoder, run.shape, block, pixelsOf(run), zeros)) {
      return giveUp(run, snapshot, block);
    }
    if (!nextBlock(run.shape, block)) break;
    // A big image is given up rather than finished, so that a stop is prompt.
    if (run.hooks.control() == DumpControl::stopNow) {
      discard(run, snapshot);
      return ImageEnd::stopped;
    }
    zeros = run.romEnded;
    const ReadEnd read = readBlock(run, block);
    if (read == ReadEnd::stopped || read == ReadEnd::failed) {
      discard(run, snapshot);
      return endOfRead(run, read);
    }
  }
  if (!run.encoder.finish(run.encoding, snapshot)) return giveUp(run, snapshot, block);
  return ImageEnd::written;
}

// One image: its first block is read before its file is made, so that an
// image with no byte left in the ROM gives no file; then block by block, in
// ROM order, each written where it belongs. A stop between blocks gives the
// image up, its file removed.
ImageEnd dumpImage(Run& run) {
  const std::uint64_t imageStart = run.position;
  ImageBlock block = firstBlock(run.shape);
  const ReadEnd first = readBlock(run, block, true);
  if (first == ReadEnd::nothing) return ImageEnd::noBytesLeft;
  if (first != ReadEnd::read) return endOfRead(run, first);
  if (!run.listed) {
    run.taken = listTakenNumbers(run.request.dumpPrefix, run.encoder.extension);
    run.listed = true;
  }
  // What the snapshot needs is made before its file: nothing is allocated while it is open.
  if (run.pictures != nullptr) {
    run.encoding.origin.map = mapText(run.request.map, imageStart / run.pictures->pictureBytes, run.pictures->mapBytes);
  }
  run.encoder.begin(run.encoding, run.decoder, run.shape, imageStart);
  SnapshotFile snapshot;
  const CreateResult created =
      createSnapshotFile(run.request.dumpPrefix, run.snapshotNumber, run.taken, snapshot, run.encoder.extension);
  report(run, DumpEventKind::snapshotOpened, snapshot.name);
  if (created != CreateResult::created) {
    reportFailure(run, snapshot, DumpProblem::unableToWrite, false, lastSystemError());
    return readPast(run, block);
  }
  ImageEnd end = ImageEnd::failed;
  try {
    end = writeImage(run, snapshot, block);
  } catch (const std::bad_alloc&) {
    discard(run, snapshot);  // a caller's report that ran out of memory: no incomplete file stays
    throw;
  }
  if (end != ImageEnd::written) return end;
  report(run, DumpEventKind::snapshotWritten, snapshot.name);
  // Every name up to this one is taken now, so the next image need not probe them again.
  if (run.snapshotNumber < std::numeric_limits<std::int32_t>::max()) ++run.snapshotNumber;
  return ImageEnd::written;
}

DumpResult dumpFrom(Run& run) {
  bool allWritten = true;
  for (std::uint32_t index = 0; index < run.request.imageCount; ++index) {
    const DumpControl control = run.hooks.control();
    if (control == DumpControl::stopNow) {
      report(run, DumpEventKind::stopped);
      return DumpResult{DumpEnd::stopped, allWritten, run.position};
    }
    if (control == DumpControl::endBeforeNextImage) return DumpResult{DumpEnd::endedByCaller, allWritten, run.position};
    const std::uint64_t imageStart = run.position;
    switch (dumpImage(run)) {
      case ImageEnd::written:
        break;
      case ImageEnd::failed:
        allWritten = false;
        break;
      case ImageEnd::stopped:
        report(run, DumpEventKind::stopped);
        return DumpResult{DumpEnd::stopped, allWritten, imageStart};
      case ImageEnd::romUnreadable:
        return romStopped(RomStop::unreadable, false, run.position);
      case ImageEnd::noBytesLeft:
        reportRomStop(run, RomStop::ended);
        return romStopped(RomStop::ended, allWritten, run.position);
    }
    // The image the ROM ended inside was the last.
    if (run.romEnded) {
      reportRomStop(run, RomStop::ended);
      return romStopped(RomStop::ended, allWritten, run.position);
    }
  }
  return DumpResult{DumpEnd::completed, allWritten, run.position};
}

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

// The rest of the ROM from the stream's start, up to what the longest
// stream can take: the stream is decoded from memory.
constexpr std::size_t kLongestStreamBytes = std::size_t{36} << 20;

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

}  // namespace

namespace {

DumpResult dumpWith(const FileHandle& rom, const DumpRequest& request, const DumpHooks& hooks, MapPictures* pictures);

}  // namespace

// With a map, the pictures are drawn first; the dump then reads them as
// linear indices.
DumpResult dumpImages(const FileHandle& rom, const DumpRequest& request, const DumpHooks& hooks) {
  if (!request.map.given) return dumpWith(rom, request, hooks, nullptr);
  MapPictures pictures;
  try {
    if (!drawMapPictures(rom, request.map, request.format, request.startAddress, request.width, request.height,
                         request.imageCount, pictures)) {
      DumpResult refused{DumpEnd::badStream, false, request.startAddress};
      refused.problem = pictures.problem;
      return refused;
    }
  } catch (const std::bad_alloc&) {
    return DumpResult{DumpEnd::noMemory, false, request.startAddress};
  }
  if (pictures.tileNotHeld) hooks.report(DumpEvent{DumpEventKind::tileNotHeld, {}});
  return dumpWith(rom, request, hooks, &pictures);
}

namespace {

DumpResult dumpWith(const FileHandle& rom, const DumpRequest& request, const DumpHooks& hooks, MapPictures* pictures) {
  const std::uint64_t start = request.startAddress;
  const std::uint32_t width = request.width;
  const std::uint32_t height = request.height;
  // Names are strings that grow, and the decoder's tables take memory;
  // running out of memory for them ends the dump as for the buffers. No
  // snapshot file is open where they grow.
  try {
    const SnapshotEncoder& encoder = encoderFor(request.png);
    // The pictures of a map are linear indices, whatever the tiles' format.
    const PixelFormat& pixels = pictures != nullptr ? pictures->format : request.format;
    const PixelDecoder decoder = makeDecoder(pixels, encoder.needsColourTable(pixels), request.paletteColours);
    const ImageShape shape = shapeOf(width, height, decoder);
    const bool indexed = isIndexed(pixels);
    EncoderState encoding;
    const bool paletteGiven = indexed && request.palette.from != PaletteFrom::greyRamp;
    encoding.origin = SnapshotOrigin{request.romPath, start, request.format.name, request.software,
                                     indexed ? paletteText(request.palette) : "",
                                     paletteGiven ? std::to_string(request.palette.bank) : "",
                                     request.compression != Compression::none ? compressionName(request.compression) : "",
                                     start};
    Run run{rom, romInOrder(rom), request, hooks, decoder, shape, encoder, encoding, {},
            allocate(rawBytesOf(shape, firstBlock(shape))),
            indexed ? allocate(pixelBytesOf(shape, firstBlock(shape))) : Buffer(), false, {}, 0, start, false};
    if (!run.raw || (indexed && !run.unpacked) || !run.encoder.start(encoding, decoder, shape)) {
      return DumpResult{DumpEnd::noMemory, false, start};
    }
    if (pictures != nullptr) {
      run.pictures = pictures;
      run.encoding.origin.mapFormat = request.map.format.name;
      run.source = bytesInMemory(pictures->bytes.data(), pictures->bytes.size());
      run.position = 0;
      return dumpFrom(run);
    }
    const DumpResult reached = moveTo(run, start);
    if (reached.end != DumpEnd::completed) return reached;
    if (request.compression != Compression::none) {
      const DumpResult decoded = readStream(run, start);
      if (decoded.end != DumpEnd::completed) return decoded;
    }
    return dumpFrom(run);
  } catch (const std::bad_alloc&) {
    return DumpResult{DumpEnd::noMemory, false, start};
  }
}

}  // namespace

}  // namespace velloran
