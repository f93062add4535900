#include "snapshot_writer.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <new>

#include "pixel_conversion.h"
#include "platform_file.h"

namespace velloran {

namespace {

constexpr const char* kOpeningFormat = "\nOpening: %s";
constexpr const char* kUnableToAllocateBitmap = "\nUnable to allocate bitmap";
constexpr const char* kUnableToWriteFile = "\nUnable to write to file";
constexpr const char* kUnsupportedDepth = "\nOnly 16-bit snapshots can be written";

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

SnapshotResult report(const char* message) {
  std::fputs(message, stdout);
  return SnapshotResult::failed;
}

// A snapshot that could not be completed is never left behind, not even empty.
SnapshotResult discard(FileHandle& file, const std::string& name, const char* message) {
  file.close();
  removeFile(name);
  return report(message);
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
  std::printf(kOpeningFormat, name.c_str());
  if (created != CreateResult::created) return report(kUnableToWriteFile);
  if (bitsPerPixel != 16) return discard(file, name, kUnsupportedDepth);

  std::uint32_t fileSize = 0;
  std::unique_ptr<unsigned char[]> bitmapBuffer;
  if (bmpFileSize(width, height, fileSize)) bitmapBuffer.reset(new (std::nothrow) unsigned char[fileSize]);
  if (!bitmapBuffer) return discard(file, name, kUnableToAllocateBitmap);

  // Headers and pixels share one buffer so the whole file goes out in one write.
  fillBmpHeaders(bitmapBuffer.get(), width, height);
  convertImage(pixels, sourceStride, static_cast<std::uint32_t>(width),
               static_cast<std::uint32_t>(height), bitmapBuffer.get() + kBmpHeaderBytes,
               rowBytesFor(static_cast<std::uint32_t>(width)));

  const bool wrote = writeAll(file, bitmapBuffer.get(), fileSize);
  const bool closed = file.close();
  if (!wrote || !closed) return discard(file, name, kUnableToWriteFile);
  return SnapshotResult::written;
}

}  // namespace velloran
