#include "dump/dump.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "snapshot/bmp_file.h"

namespace velloran {

namespace {

// One table for every message, in DumpProblem's order.
constexpr const char* kMessages[] = {
    "Unable to write to file",
    "Unable to allocate bitmap",
    "Unable to remove the incomplete file: ",
    "End of rom reached",
    "Unable to read rom",
    "Unable to allocate mem",
};

using Buffer = std::unique_ptr<unsigned char[]>;

Buffer allocate(std::size_t bytes) {
  return Buffer(new (std::nothrow) unsigned char[bytes]);
}

void report(const DumpHooks& hooks, DumpEventKind kind, std::string_view name = {}) {
  DumpEvent event{kind, name};
  hooks.report(event);
}

void reportFailure(const DumpHooks& hooks, const SnapshotFile& snapshot, DumpProblem problem,
                   bool fileLeftBehind = false) {
  DumpEvent event{DumpEventKind::snapshotFailed, snapshot.name, problem};
  event.fileLeftBehind = fileLeftBehind;
  hooks.report(event);
}

// A snapshot that could not be completed is never left behind, not even
// empty, unless the system refuses to remove it.
void discardAndReport(const DumpHooks& hooks, SnapshotFile& snapshot, DumpProblem problem) {
  reportFailure(hooks, snapshot, problem, !discardSnapshotFile(snapshot));
}

enum class SnapshotEnd { written, failed, stopped };

// Writes one image that is in memory as a snapshot, block by block in ROM
// order. A stop request between blocks gives it up.
SnapshotEnd writeImage(const unsigned char* image, const DumpRequest& request, std::int32_t& snapshotNumber,
                       const DumpHooks& hooks) {
  const auto width = static_cast<std::uint32_t>(request.width);
  const auto height = static_cast<std::uint32_t>(request.height);
  SnapshotFile snapshot;
  const CreateResult created = createSnapshotFile(request.dumpPrefix, snapshotNumber, snapshot);
  report(hooks, DumpEventKind::snapshotOpened, snapshot.name);
  if (created != CreateResult::created) {
    reportFailure(hooks, snapshot, DumpProblem::unableToWrite);
    return SnapshotEnd::failed;
  }
  const Buffer buffer = allocate(blockBufferBytes(width, height));
  if (!buffer) {
    discardAndReport(hooks, snapshot, DumpProblem::unableToAllocateBitmap);
    return SnapshotEnd::failed;
  }
  ImageBlock block = firstBlock(width, height);
  const unsigned char* raw = image;
  do {
    // A big image is given up rather than finished, so that a stop is prompt.
    if (raw != image && hooks.control() == DumpControl::stopNow) {
      discardSnapshotFile(snapshot);
      return SnapshotEnd::stopped;
    }
    if (!writeSnapshotBlock(snapshot, request.width, request.height, block, raw, buffer.get())) {
      discardAndReport(hooks, snapshot, DumpProblem::unableToWrite);
      return SnapshotEnd::failed;
    }
    raw += rawBytesOf(block);
  } while (nextBlock(width, height, block));
  if (!finishSnapshotFile(snapshot)) {
    discardAndReport(hooks, snapshot, DumpProblem::unableToWrite);
    return SnapshotEnd::failed;
  }
  report(hooks, DumpEventKind::snapshotWritten, snapshot.name);
  // Every name up to this one is taken now, so the next image need not probe them again.
  if (snapshotNumber < std::numeric_limits<std::int32_t>::max()) ++snapshotNumber;
  return SnapshotEnd::written;
}

DumpResult dumpFrom(const FileHandle& rom, const DumpRequest& request, const DumpHooks& hooks,
                    unsigned char* image, std::uint64_t position) {
  const std::size_t imageBytes = std::size_t{static_cast<std::uint32_t>(request.width)} *
                                 static_cast<std::uint32_t>(request.height) * 2;
  std::int32_t snapshotNumber = 0;
  bool allWritten = true;
  for (std::int32_t index = 0; index < request.imageCount; ++index) {
    const DumpControl control = hooks.control();
    if (control == DumpControl::stopNow) {
      report(hooks, DumpEventKind::stopped);
      return DumpResult{DumpEnd::stopped, allWritten, position};
    }
    if (control == DumpControl::endBeforeNextImage) return DumpResult{DumpEnd::endedByCaller, allWritten, position};
    const std::uint64_t imageStart = position;
    bool romEnded = false;
    if (imageBytes > 0) {
      const ReadResult read = readFull(rom, image, imageBytes);
      position += read.bytesRead;
      if (read.stopped) {
        report(hooks, DumpEventKind::stopped);
        return DumpResult{DumpEnd::stopped, allWritten, imageStart};
      }
      if (read.failed) {
        report(hooks, DumpEventKind::romUnreadable);
        return DumpResult{DumpEnd::romUnreadable, false, position};
      }
      if (read.bytesRead == 0) {
        report(hooks, DumpEventKind::romEnded);
        return DumpResult{DumpEnd::romEnded, allWritten, position};
      }
      // Bytes past the ROM's end read as zero, never as the previous image.
      romEnded = read.bytesRead < imageBytes;
      std::memset(image + read.bytesRead, 0, imageBytes - read.bytesRead);
      DumpEvent rows{DumpEventKind::imageRows, {}};
      rows.block = ImageBlock{0, static_cast<std::uint32_t>(request.height), 0,
                              static_cast<std::uint32_t>(request.width)};
      rows.pixels = image;
      hooks.report(rows);
    }
    const SnapshotEnd end = writeImage(image, request, snapshotNumber, hooks);
    if (end == SnapshotEnd::stopped) {
      report(hooks, DumpEventKind::stopped);
      return DumpResult{DumpEnd::stopped, allWritten, imageStart};
    }
    allWritten = allWritten && end == SnapshotEnd::written;
    if (romEnded) {
      report(hooks, DumpEventKind::romEnded);
      return DumpResult{DumpEnd::romEnded, allWritten, position};
    }
  }
  return DumpResult{DumpEnd::completed, allWritten, position};
}

// A pipe, or a device that ignores positions, is read forward up to `start`,
// so that a ROM can come out of a decompressor.
DumpEnd skipForward(const FileHandle& rom, std::uint64_t start, const DumpHooks& hooks) {
  constexpr std::size_t kSkipBytes = 64 * 1024;
  const Buffer dropped = allocate(kSkipBytes);
  if (!dropped) return DumpEnd::noMemory;
  for (std::uint64_t skipped = 0; skipped < start;) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kSkipBytes, start - skipped));
    const ReadResult read = readFull(rom, dropped.get(), wanted);
    skipped += read.bytesRead;
    if (read.stopped || hooks.control() == DumpControl::stopNow) {
      report(hooks, DumpEventKind::stopped);
      return DumpEnd::stopped;
    }
    if (read.failed) {
      report(hooks, DumpEventKind::romUnreadable);
      return DumpEnd::romUnreadable;
    }
    // Shorter than the start: the ROM's end, as for a file.
    if (read.bytesRead < wanted) {
      report(hooks, DumpEventKind::romEnded);
      return DumpEnd::romEnded;
    }
  }
  return DumpEnd::completed;
}

// Puts the ROM's read position at `start`; completed when it is there. A
// ROM read forward is read only when there are images to dump.
DumpEnd moveTo(const FileHandle& rom, std::uint64_t start, std::int32_t imageCount, const DumpHooks& hooks) {
  switch (seekTo(rom, start)) {
    case SeekResult::reached:
      return DumpEnd::completed;
    case SeekResult::notSeekable:
      return imageCount > 0 ? skipForward(rom, start, hooks) : DumpEnd::completed;
    case SeekResult::failed:
      break;
  }
  report(hooks, DumpEventKind::romUnreadable);
  return DumpEnd::romUnreadable;
}

}  // namespace

const char* dumpMessage(DumpProblem problem) {
  return kMessages[static_cast<int>(problem)];
}

DumpResult dumpImages(const FileHandle& rom, const DumpRequest& request, const DumpHooks& hooks) {
  const auto start = static_cast<std::uint64_t>(request.startAddress);
  const std::size_t imageBytes = std::size_t{static_cast<std::uint32_t>(request.width)} *
                                 static_cast<std::uint32_t>(request.height) * 2;
  // Names are strings that grow; running out of memory for one ends the dump
  // as for the image. No snapshot file is open where they grow.
  try {
    const Buffer image = allocate(imageBytes);
    if (!image) return DumpResult{DumpEnd::noMemory, false, start};
    const DumpEnd reached = moveTo(rom, start, request.imageCount, hooks);
    if (reached != DumpEnd::completed) return DumpResult{reached, reached == DumpEnd::romEnded, start};
    return dumpFrom(rom, request, hooks, image.get(), start);
  } catch (const std::bad_alloc&) {
    return DumpResult{DumpEnd::noMemory, false, start};
  }
}

}  // namespace velloran
