#include "snapshot/snapshot_writer.h"

#include <algorithm>
#include <limits>

#include "snapshot/bmp_file.h"
#include "snapshot/pixel_conversion.h"

namespace velloran {

namespace {

// Whole rows per block; 0 when a single row is longer than a block.
std::uint32_t rowsPerBlock(std::uint32_t width, std::uint32_t height) {
  const std::uint64_t rowBytes = rowBytesFor(width);
  if (rowBytes == 0) return height;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(height, kBlockBytes / rowBytes));
}

// A run of one row's pixels, when rows are longer than a block.
constexpr std::uint32_t kColumnsPerRun = kBlockBytes / 2;

// Where a block's first byte goes in the file.
std::uint64_t fileOffsetOf(std::uint32_t width, std::uint32_t height, const ImageBlock& block) {
  const std::uint64_t bottomRow = height - block.firstRow - block.rowCount;  // counted from the file's first
  return kBmpHeaderBytes + bottomRow * rowBytesFor(width) + std::uint64_t{block.firstColumn} * 2;
}

// The block's bytes in the file: its rows, or its run and, when the run
// ends the row, the row's padding.
std::size_t fileBytesOf(std::uint32_t width, const ImageBlock& block) {
  if (block.columnCount == width) return static_cast<std::size_t>(block.rowCount * rowBytesFor(width));
  const bool endsRow = block.firstColumn + block.columnCount == width;
  return std::size_t{block.columnCount} * 2 + (endsRow ? rowBytesFor(width) - std::uint64_t{width} * 2 : 0);
}

}  // namespace

std::string snapshotName(const std::string& dumpPrefix, std::int32_t number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return dumpPrefix + "snap" + digits + ".bmp";
}

ImageBlock firstBlock(std::uint32_t width, std::uint32_t height) {
  if (width == 0 || height == 0) return ImageBlock{0, height, 0, width};
  const std::uint32_t rows = rowsPerBlock(width, height);
  if (rows > 0) return ImageBlock{0, rows, 0, width};
  return ImageBlock{0, 1, 0, std::min(width, kColumnsPerRun)};
}

bool nextBlock(std::uint32_t width, std::uint32_t height, ImageBlock& block) {
  const std::uint32_t runEnd = block.firstColumn + block.columnCount;
  if (runEnd < width) {
    block.firstColumn = runEnd;
    block.columnCount = std::min(width - runEnd, kColumnsPerRun);
    return true;
  }
  const std::uint32_t nextRow = block.firstRow + block.rowCount;
  if (nextRow >= height) return false;
  block.firstRow = nextRow;
  if (block.columnCount == width) {
    block.rowCount = std::min(block.rowCount, height - nextRow);
  } else {
    block.firstColumn = 0;
    block.columnCount = std::min(width, kColumnsPerRun);
  }
  return true;
}

std::size_t rawBytesOf(const ImageBlock& block) {
  return std::size_t{block.rowCount} * block.columnCount * 2;
}

std::size_t blockBufferBytes(std::uint32_t width, std::uint32_t height) {
  return kBmpHeaderBytes + fileBytesOf(width, firstBlock(width, height));
}

// The exclusive create is the probe itself: one call per name, it refuses
// anything already there (links and FIFOs included) without opening it, and
// nothing can slip in between a check and the creation.
CreateResult createSnapshotFile(const std::string& dumpPrefix, std::int32_t& snapshotNumber,
                                SnapshotFile& snapshot) {
  for (;;) {
    snapshot.name = snapshotName(dumpPrefix, snapshotNumber);
    const CreateResult result = createExclusive(snapshot.name, snapshot.file);
    if (result != CreateResult::nameTaken) return result;
    if (snapshotNumber == std::numeric_limits<std::int32_t>::max()) return CreateResult::failed;
    ++snapshotNumber;
  }
}

bool writeSnapshotBlock(const SnapshotFile& snapshot, std::int32_t width, std::int32_t height,
                        const ImageBlock& block, const unsigned char* raw, unsigned char* buffer) {
  const auto columns = static_cast<std::uint32_t>(width);
  const auto rows = static_cast<std::uint32_t>(height);
  const std::size_t bytes = fileBytesOf(columns, block);
  unsigned char* rowsStart = buffer + kBmpHeaderBytes;
  const std::size_t rowStride = block.rowCount > 1 ? static_cast<std::size_t>(rowBytesFor(columns)) : bytes;
  convertImage(raw, std::size_t{block.columnCount} * 2, block.columnCount, block.rowCount, rowsStart, rowStride);
  std::uint64_t offset = fileOffsetOf(columns, rows, block);
  unsigned char* start = rowsStart;
  if (offset == kBmpHeaderBytes) {
    fillBmpHeaders(buffer, width, height);
    start = buffer;
    offset = 0;
  }
  return writeAllAt(snapshot.file, offset, start, static_cast<std::size_t>(rowsStart + bytes - start));
}

bool finishSnapshotFile(SnapshotFile& snapshot) {
  const bool closed = snapshot.file.close();
  if (closed) releaseNewFile();
  return closed;
}

bool discardSnapshotFile(SnapshotFile& snapshot) {
  snapshot.file.close();
  const bool removed = removeFile(snapshot.name);
  releaseNewFile();
  return removed;
}

}  // namespace velloran
