#include "dump/dump.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "dump/dump_run.h"
#include "pixels/image_rows.h"
#include "snapshot/snapshot_encoder.h"
#include "streams/compressed_stream.h"
#include "texts/texts.h"

namespace velloran {

using namespace dump_run;

namespace {

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
