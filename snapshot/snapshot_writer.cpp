#include "snapshot/snapshot_writer.h"

#include <algorithm>
#include <limits>
#include <new>

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

namespace {

// What a listing looks for: namePrefix, then 4 to 10 digits, then ".bmp",
// as snapshotName writes them.
struct OurNames {
  std::string namePrefix;  // the prefix after its folder part, and "snap"
  TakenNumbers& taken;
};

// The digits snapshotName writes: at least four, zero-filled to four and
// with no leading zero beyond, of a number up to 2147483647. So snap123.bmp
// and snap00001.bmp are none of ours. Checked in place: a folder may hold
// a hundred thousand names.
void takeIfOurs(OurNames& ours, std::string_view name) {
  constexpr std::string_view kExtension = ".bmp";
  const std::size_t start = ours.namePrefix.size();
  if (name.size() < start + 4 + kExtension.size() || name.size() > start + 10 + kExtension.size() ||
      name.compare(0, start, ours.namePrefix) != 0 ||
      name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) != 0) {
    return;
  }
  const std::string_view digits = name.substr(start, name.size() - start - kExtension.size());
  if (digits.size() > 4 && digits[0] == '0') return;
  std::int64_t number = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return;
    number = number * 10 + (digit - '0');
  }
  if (number <= std::numeric_limits<std::int32_t>::max()) ours.taken.numbers.push_back(static_cast<std::int32_t>(number));
}

// The listing itself: it throws when the numbers do not fit in memory.
TakenNumbers listTakenNumbersOrThrow(const std::string& dumpPrefix) {
  TakenNumbers taken;
  const auto separator = std::find_if(dumpPrefix.rbegin(), dumpPrefix.rend(), isPathSeparator).base();
  const std::string folder(dumpPrefix.begin(), separator);
  OurNames ours{std::string(separator, dumpPrefix.end()) + "snap", taken};
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

TakenNumbers listTakenNumbers(const std::string& dumpPrefix) {
  // Without the listing every number is probed, as it always could be.
  try {
    return listTakenNumbersOrThrow(dumpPrefix);
  } catch (const std::bad_alloc&) {
    return TakenNumbers{};
  }
}

// The exclusive create is the probe itself: one call per name, it refuses
// anything already there (links and FIFOs included) without opening it, and
// nothing can slip in between a check and the creation.
CreateResult createSnapshotFile(const std::string& dumpPrefix, std::int32_t& snapshotNumber,
                                TakenNumbers& taken, SnapshotFile& snapshot) {
  for (;;) {
    while (listedAsTaken(taken, snapshotNumber) && snapshotNumber < std::numeric_limits<std::int32_t>::max()) {
      ++snapshotNumber;
    }
    snapshot.name = snapshotName(dumpPrefix, snapshotNumber);
    const CreateResult result = createExclusive(snapshot.name, snapshot.file);
    if (result != CreateResult::nameTaken) return result;
    if (snapshotNumber == std::numeric_limits<std::int32_t>::max()) return CreateResult::failed;
    ++snapshotNumber;
  }
}

bool writeSnapshotBlock(SnapshotFile& snapshot, std::int32_t width, std::int32_t height, const ImageBlock& block,
                        const unsigned char* raw, bool rawIsZeros, unsigned char* buffer) {
  const auto columns = static_cast<std::uint32_t>(width);
  const auto rows = static_cast<std::uint32_t>(height);
  std::uint64_t offset = fileOffsetOf(columns, rows, block);
  std::size_t bytes = fileBytesOf(columns, block);
  unsigned char* start = buffer + kBmpHeaderBytes;
  std::uint32_t fileSize = 0;
  bmpFileSize(width, height, fileSize);
  snapshot.fullLength = fileSize;
  if (rawIsZeros) {
    bytes = 0;
  } else {
    const std::size_t rowStride = block.rowCount > 1 ? static_cast<std::size_t>(rowBytesFor(columns)) : bytes;
    convertImage(raw, std::size_t{block.columnCount} * 2, block.columnCount, block.rowCount, start, rowStride);
  }
  if (offset == kBmpHeaderBytes) {
    fillBmpHeaders(buffer, width, height);
    start = buffer;
    offset = 0;
    bytes += kBmpHeaderBytes;
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
