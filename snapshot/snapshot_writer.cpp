#include "snapshot/snapshot_writer.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "platform/platform.h"
#include "snapshot/console_output.h"
#include "snapshot/pixel_conversion.h"

namespace velloran {

namespace {

constexpr const char* kOpening = "\nOpening: ";
constexpr const char* kUnableToAllocateBitmap = "\nUnable to allocate bitmap";
constexpr const char* kUnableToWriteFile = "\nUnable to write to file";
constexpr const char* kUnsupportedDepth = "\nOnly 16-bit snapshots can be written";
constexpr const char* kIncompleteFileLeft = "\nUnable to remove the incomplete file: ";

// Stores `value` little-endian and returns the byte after it.
unsigned char* put16(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value & 0xFFu);
  at[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
  return at + 2;
}

unsigned char* put32(unsigned char* at, std::uint32_t value) {
  return put16(put16(at, value & 0xFFFFu), value >> 16);
}

// Finds the first number from `snapshotNumber` up whose name is free. The
// exclusive create is the probe itself: one call per name, it refuses anything
// already there (links and FIFOs included) without opening it, and nothing can
// slip in between a check and the creation.
CreateResult createNextSnapshotFile(const std::string& dumpPrefix, std::int32_t& snapshotNumber,
                                    std::string& name, FileHandle& file) {
  for (;;) {
    name = snapshotName(dumpPrefix, snapshotNumber);
    const CreateResult result = createExclusive(name, file);
    if (result != CreateResult::nameTaken) return result;
    if (snapshotNumber == std::numeric_limits<std::int32_t>::max()) return CreateResult::failed;
    ++snapshotNumber;
  }
}

// Pixel rows go out in blocks of about this many bytes, so that a big image
// never needs a second buffer of its own size.
constexpr std::uint64_t kWriteBlockBytes = std::uint64_t{4} << 20;

// Rows per block: at least one, at most the image; none when rows hold no bytes.
std::uint32_t blockRowsFor(std::uint64_t rowBytes, std::uint32_t rows) {
  if (rowBytes == 0) return 0;
  const std::uint64_t fitting = std::max<std::uint64_t>(1, kWriteBlockBytes / rowBytes);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, fitting));
}

SnapshotResult report(const char* message) {
  say(message);
  return SnapshotResult::failed;
}

// A snapshot that could not be completed is never left behind, not even
// empty. A stop request removes it silently: the driver says why it stopped.
SnapshotResult discard(FileHandle& file, const std::string& name, const char* message) {
  file.close();
  const bool removed = removeFile(name);
  releaseNewFile();
  if (message == nullptr) return SnapshotResult::stopped;
  report(message);
  if (!removed) {
    say(kIncompleteFileLeft);
    say(name);
  }
  return SnapshotResult::failed;
}

}  // namespace

std::string snapshotName(const std::string& dumpPrefix, std::int32_t number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return dumpPrefix + "snap" + digits + ".bmp";
}

bool bmpFileSize(std::int32_t width, std::int32_t height, std::uint32_t& fileSize) {
  if (width < 0 || height < 0) return false;
  const std::uint64_t total =
      kBmpHeaderBytes + rowBytesFor(static_cast<std::uint32_t>(width)) * static_cast<std::uint32_t>(height);
  if (total > std::numeric_limits<std::uint32_t>::max()) return false;
  fileSize = static_cast<std::uint32_t>(total);
  return true;
}

// The 14-byte BITMAPFILEHEADER, then the 40-byte BITMAPINFOHEADER, field by
// field, little-endian. The pixel rows follow at offset 54, bottom row first.
void fillBmpHeaders(unsigned char* header, std::int32_t width, std::int32_t height) {
  std::uint32_t fileSize = 0;
  bmpFileSize(width, height, fileSize);
  unsigned char* at = header;
  at = put16(at, 0x4D42);                               // bfType: "BM"
  at = put32(at, fileSize);                             // bfSize
  at = put16(at, 0);                                    // bfReserved1
  at = put16(at, 0);                                    // bfReserved2
  at = put32(at, kBmpHeaderBytes);                      // bfOffBits
  at = put32(at, 40);                                   // biSize
  at = put32(at, static_cast<std::uint32_t>(width));    // biWidth
  at = put32(at, static_cast<std::uint32_t>(height));   // biHeight: positive, bottom row first
  at = put16(at, 1);                                    // biPlanes
  at = put16(at, 16);                                   // biBitCount
  at = put32(at, 0);                                    // biCompression: BI_RGB
  at = put32(at, 0);                                    // biSizeImage
  at = put32(at, 0);                                    // biXPelsPerMeter
  at = put32(at, 0);                                    // biYPelsPerMeter
  at = put32(at, 0);                                    // biClrUsed
  put32(at, 0);                                         // biClrImportant
}

SnapshotResult writeSnapshot(const unsigned char* pixels, std::uint32_t sourceStride,
                             std::int32_t bitsPerPixel, std::int32_t width, std::int32_t height,
                             const std::string& dumpPrefix, std::int32_t& snapshotNumber) {
  std::string name;
  FileHandle file;
  const CreateResult created = createNextSnapshotFile(dumpPrefix, snapshotNumber, name, file);
  // Printed in two parts: nothing may allocate while a new file is open.
  say(kOpening);
  say(name);
  flushSaid();  // the name is on screen while its file is written
  if (created != CreateResult::created) return report(kUnableToWriteFile);
  if (bitsPerPixel != 16) return discard(file, name, kUnsupportedDepth);

  std::uint32_t fileSize = 0;
  if (!bmpFileSize(width, height, fileSize)) return discard(file, name, kUnableToAllocateBitmap);
  const auto rows = static_cast<std::uint32_t>(height);
  const std::uint64_t rowBytes = rowBytesFor(static_cast<std::uint32_t>(width));
  const std::uint32_t rowsPerBlock = blockRowsFor(rowBytes, rows);
  std::unique_ptr<unsigned char[]> bitmapBuffer(
      new (std::nothrow) unsigned char[kBmpHeaderBytes + rowsPerBlock * rowBytes]);
  if (!bitmapBuffer) return discard(file, name, kUnableToAllocateBitmap);

  // The headers share the first block's buffer, so a small file goes out in
  // one write; a big one goes out block by block, bottom row first.
  fillBmpHeaders(bitmapBuffer.get(), width, height);
  unsigned char* blockStart = bitmapBuffer.get() + kBmpHeaderBytes;
  bool wrote = rowsPerBlock > 0 || writeAll(file, bitmapBuffer.get(), kBmpHeaderBytes);
  for (std::uint32_t fileRow = 0; wrote && rowsPerBlock > 0 && fileRow < rows; fileRow += rowsPerBlock) {
    // A big image is given up rather than finished, so that a stop is prompt.
    if (fileRow > 0 && stopRequest() != 0) return discard(file, name, nullptr);
    const std::uint32_t blockRows = std::min(rowsPerBlock, rows - fileRow);
    const std::uint32_t lastImageRow = rows - 1 - fileRow;
    convertImage(pixels + std::size_t{sourceStride} * (lastImageRow + 1 - blockRows), sourceStride,
                 static_cast<std::uint32_t>(width), blockRows, blockStart, rowBytes);
    const unsigned char* out = fileRow == 0 ? bitmapBuffer.get() : blockStart;
    wrote = writeAll(file, out, static_cast<std::size_t>(blockStart + blockRows * rowBytes - out));
  }
  const bool closed = file.close();
  if (!wrote || !closed) return discard(file, name, kUnableToWriteFile);
  releaseNewFile();
  // Every name up to this one is taken now, so the next call need not probe them again.
  if (snapshotNumber < std::numeric_limits<std::int32_t>::max()) ++snapshotNumber;
  return SnapshotResult::written;
}

}  // namespace velloran
