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

void putLittleEndian16(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value & 0xFFu);
  at[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
}

void putLittleEndian32(unsigned char* at, std::uint32_t value) {
  putLittleEndian16(at, value & 0xFFFFu);
  putLittleEndian16(at + 2, value >> 16);
}

// Finds the first number from `snapshotNumber` up whose name is free and
// creates that file exclusively, so a file that appears between the probe and
// the creation is skipped rather than touched.
CreateResult createNextSnapshotFile(const std::string& dumpPrefix, std::int32_t& snapshotNumber,
                                    std::string& name, FileHandle& file) {
  for (;;) {
    name = snapshotName(dumpPrefix, snapshotNumber);
    const CreateResult result =
        pathExists(name) ? CreateResult::nameTaken : createExclusive(name, file);
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

// BITMAPFILEHEADER (14 bytes) then BITMAPINFOHEADER (40 bytes), little-endian:
//
//   offset  size  field            value
//        0     2  bfType           "BM"
//        2     4  bfSize           54 + rowBytes * height
//        6     2  bfReserved1      0
//        8     2  bfReserved2      0
//       10     4  bfOffBits        54
//       14     4  biSize           40
//       18     4  biWidth          width
//       22     4  biHeight         height (positive: bottom row first)
//       26     2  biPlanes         1
//       28     2  biBitCount       16
//       30     4  biCompression    0 (BI_RGB)
//       34    20  biSizeImage, biXPelsPerMeter, biYPelsPerMeter,
//                 biClrUsed, biClrImportant: all 0
void fillBmpHeaders(unsigned char* header, std::int32_t width, std::int32_t height) {
  std::uint32_t fileSize = 0;
  bmpFileSize(width, height, fileSize);
  for (std::uint32_t i = 0; i < kBmpHeaderBytes; ++i) header[i] = 0;
  header[0] = 'B';
  header[1] = 'M';
  putLittleEndian32(header + 2, fileSize);
  putLittleEndian32(header + 10, kBmpHeaderBytes);
  putLittleEndian32(header + 14, 40);
  putLittleEndian32(header + 18, static_cast<std::uint32_t>(width));
  putLittleEndian32(header + 22, static_cast<std::uint32_t>(height));
  putLittleEndian16(header + 26, 1);
  putLittleEndian16(header + 28, 16);
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
  std::unique_ptr<unsigned char[]> bitmap;
  if (bmpFileSize(width, height, fileSize)) bitmap.reset(new (std::nothrow) unsigned char[fileSize]);
  if (!bitmap) return discard(file, name, kUnableToAllocateBitmap);

  // Headers and pixels share one buffer so the whole file goes out in one write.
  fillBmpHeaders(bitmap.get(), width, height);
  convertImage(pixels, sourceStride, static_cast<std::uint32_t>(width),
               static_cast<std::uint32_t>(height), bitmap.get() + kBmpHeaderBytes,
               rowBytesFor(static_cast<std::uint32_t>(width)));

  const bool wrote = writeAll(file, bitmap.get(), fileSize);
  const bool closed = file.close();
  if (!wrote || !closed) return discard(file, name, kUnableToWriteFile);
  return SnapshotResult::written;
}

}  // namespace velloran
