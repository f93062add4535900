#include "snapshot/snapshot_writer.h"

#include <algorithm>
#include <limits>
#include <new>

#include "snapshot/bmp_file.h"
#include "snapshot/pixel_conversion.h"
#include "texts/numbers.h"

namespace velloran {

namespace {

std::uint64_t rowBytesOf(const ImageShape& shape) {
  return rowBytesFor(shape.width, shape.fileBits);
}

// Whole rows per block, whole strips of them; 0 when a single row is longer
// than a block. A row of tiles always fits (kWidestTiles).
std::uint32_t rowsPerBlock(const ImageShape& shape) {
  const std::uint64_t rowBytes = std::max(rowBytesOf(shape), std::uint64_t{shape.width} * shape.pixelBytes);
  if (rowBytes == 0) return shape.height;
  const std::uint64_t rows = kBlockBytes / rowBytes;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(shape.height, rows - rows % shape.stripRows));
}

std::size_t bytesOfBits(std::uint64_t pixels, unsigned bits) {
  return static_cast<std::size_t>((pixels * bits + 7) / 8);
}

// A run of one row's pixels, when rows are longer than a block: within a
// block at the widest pixels, in the ROM or in the file.
constexpr std::uint32_t kColumnsPerRun = kBlockBytes / 4;

// Where a block's first byte goes in the file, from the end of the headers.
std::uint64_t rowsOffsetOf(const ImageShape& shape, const ImageBlock& block) {
  const std::uint64_t bottomRow = shape.height - block.firstRow - block.rowCount;  // counted from the file's first
  return bottomRow * rowBytesOf(shape) + bytesOfBits(block.firstColumn, shape.fileBits);
}

// The block's bytes in the file: its rows, or its run and, when the run
// ends the row, the row's padding.
std::size_t fileBytesOf(const ImageShape& shape, const ImageBlock& block) {
  if (block.columnCount == shape.width) return static_cast<std::size_t>(block.rowCount * rowBytesOf(shape));
  const bool endsRow = block.firstColumn + block.columnCount == shape.width;
  return bytesOfBits(block.columnCount, shape.fileBits) +
         (endsRow ? rowBytesOf(shape) - bytesOfBits(shape.width, shape.fileBits) : 0);
}

}  // namespace

ImageShape shapeOf(std::uint32_t width, std::uint32_t height, const PixelDecoder& decoder) {
  return ImageShape{width, height, romBitsPerPixel(decoder.format), decoder.pixelBytes,
                    bmpBitsPerPixel(bmpPixelsOf(decoder.format)), stripRows(decoder.format)};
}

std::string snapshotName(const std::string& dumpPrefix, std::int32_t number, const char* extension) {
  std::string digits = std::to_string(number);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return dumpPrefix + "snap" + digits + extension;
}

ImageBlock firstBlock(const ImageShape& shape) {
  if (shape.width == 0 || shape.height == 0) return ImageBlock{0, shape.height, 0, shape.width};
  const std::uint32_t rows = rowsPerBlock(shape);
  if (rows > 0) return ImageBlock{0, rows, 0, shape.width};
  return ImageBlock{0, 1, 0, std::min(shape.width, kColumnsPerRun)};
}

bool nextBlock(const ImageShape& shape, ImageBlock& block) {
  const std::uint32_t runEnd = block.firstColumn + block.columnCount;
  if (runEnd < shape.width) {
    block.firstColumn = runEnd;
    block.columnCount = std::min(shape.width - runEnd, kColumnsPerRun);
    return true;
  }
  const std::uint32_t nextRow = block.firstRow + block.rowCount;
  if (nextRow >= shape.height) return false;
  block.firstRow = nextRow;
  if (block.columnCount == shape.width) {
    block.rowCount = std::min(block.rowCount, shape.height - nextRow);
  } else {
    block.firstColumn = 0;
    block.columnCount = std::min(shape.width, kColumnsPerRun);
  }
  return true;
}

std::size_t rawBytesOf(const ImageShape& shape, const ImageBlock& block) {
  return std::size_t{block.rowCount} * bytesOfBits(block.columnCount, shape.romBits);
}

std::size_t pixelBytesOf(const ImageShape& shape, const ImageBlock& block) {
  return std::size_t{block.rowCount} * block.columnCount * shape.pixelBytes;
}

std::size_t blockBufferBytes(const ImageShape& shape) {
  return kLargestBmpHeader + fileBytesOf(shape, firstBlock(shape));
}

namespace {

// What a listing looks for: namePrefix, then 4 to 10 digits, then the
// extension, as snapshotName writes them.
struct OurNames {
  std::string namePrefix;  // the prefix after its folder part, and "snap"
  std::string_view extension;
  TakenNumbers& taken;
};

// The digits snapshotName writes: at least four, zero-filled to four and
// with no leading zero beyond, of a number up to 2147483647. So snap123.bmp
// and snap00001.bmp are none of ours. Checked in place: a folder may hold
// a hundred thousand names.
void takeIfOurs(OurNames& ours, std::string_view name) {
  const std::string_view kExtension = ours.extension;
  const std::size_t start = ours.namePrefix.size();
  if (name.size() < start + 4 + kExtension.size() || name.size() > start + 10 + kExtension.size() ||
      name.compare(0, start, ours.namePrefix) != 0 ||
      name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) != 0) {
    return;
  }
  const std::string_view digits = name.substr(start, name.size() - start - kExtension.size());
  if (digits.size() > 4 && digits[0] == '0') return;
  std::uint64_t number = 0;
  if (readNumber(digits, NumberGrammar::decimal, std::numeric_limits<std::int32_t>::max(), number) == NumberRead::read) {
    ours.taken.numbers.push_back(static_cast<std::int32_t>(number));
  }
}

// The listing itself: it throws when the numbers do not fit in memory.
TakenNumbers listTakenNumbersOrThrow(const std::string& dumpPrefix, const char* extension) {
  TakenNumbers taken;
  const auto separator = std::find_if(dumpPrefix.rbegin(), dumpPrefix.rend(), isPathSeparator).base();
  const std::string folder(dumpPrefix.begin(), separator);
  OurNames ours{std::string(separator, dumpPrefix.end()) + "snap", extension, taken};
  // One pointer: the function holds it without an allocation of its own.
  OurNames* looking = &ours;
  taken.listed = forEachNameIn(folder.empty() ? "." : folder,
                               [looking](std::string_view name) { takeIfOurs(*looking, name); });
  std::sort(taken.numbers.begin(), taken.numbers.end());
  return taken;
}

// Whether the listing shows `number` as taken; numbers come in increasing order.
bool listedAsTaken(TakenNumbers& taken, std::int32_t number) {
  while (taken.next < taken.numbers.size() && taken.numbers[taken.next] < number) ++taken.next;
  return taken.listed && taken.next < taken.numbers.size() && taken.numbers[taken.next] == number;
}

}  // namespace

TakenNumbers listTakenNumbers(const std::string& dumpPrefix, const char* extension) {
  // Without the listing every number is probed, as it always could be.
  try {
    return listTakenNumbersOrThrow(dumpPrefix, extension);
  } catch (const std::bad_alloc&) {
    return TakenNumbers{};
  }
}

// The exclusive create is the probe itself: one call per name, it refuses
// anything already there (links and FIFOs included) without opening it, and
// nothing can slip in between a check and the creation.
CreateResult createSnapshotFile(const std::string& dumpPrefix, std::int32_t& snapshotNumber,
                                TakenNumbers& taken, SnapshotFile& snapshot, const char* extension) {
  for (;;) {
    while (listedAsTaken(taken, snapshotNumber) && snapshotNumber < std::numeric_limits<std::int32_t>::max()) {
      ++snapshotNumber;
    }
    snapshot.name = snapshotName(dumpPrefix, snapshotNumber, extension);
    const CreateResult result = createExclusive(snapshot.name, snapshot.file);
    if (result != CreateResult::nameTaken) return result;
    if (snapshotNumber == std::numeric_limits<std::int32_t>::max()) return CreateResult::failed;
    ++snapshotNumber;
  }
}

bool writeSnapshotBlock(SnapshotFile& snapshot, const BmpPlan& plan, const PixelDecoder& decoder,
                        const ImageShape& shape, const ImageBlock& block, const unsigned char* pixels, bool rawIsZeros,
                        unsigned char* buffer) {
  const std::uint32_t headerBytes = bmpHeaderBytes(plan.pixels);
  std::uint64_t offset = headerBytes + rowsOffsetOf(shape, block);
  std::size_t bytes = fileBytesOf(shape, block);
  unsigned char* start = buffer + headerBytes;
  std::uint32_t fileSize = 0;
  bmpFileSize(shape.width, shape.height, plan.pixels, fileSize);
  snapshot.fullLength = fileSize;
  if (rawIsZeros) {
    bytes = 0;
  } else {
    const std::size_t rowStride = block.rowCount > 1 ? static_cast<std::size_t>(rowBytesOf(shape)) : bytes;
    convertRows(plan, decoder, pixels, std::size_t{block.columnCount} * shape.pixelBytes, block.columnCount,
                block.rowCount, start, rowStride);
  }
  if (offset == headerBytes) {
    fillBmpHeaders(buffer, shape.width, shape.height, plan.pixels, decoder.colourOfWord.data());
    start = buffer;
    offset = 0;
    bytes += headerBytes;
  }
  if (bytes == 0) return true;
  snapshot.length = std::max(snapshot.length, offset + bytes);
  return writeAllAt(snapshot.file, offset, start, bytes);
}

bool finishSnapshotFile(SnapshotFile& snapshot) {
  if (snapshot.length < snapshot.fullLength && !setFileLength(snapshot.file, snapshot.fullLength)) return false;
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
