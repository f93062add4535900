// Stores one raw image as a 16-bit BMP under the first free numbered name.
#pragma once

#include <cstdint>
#include <string>

namespace velloran {

constexpr std::uint32_t kBmpHeaderBytes = 14 + 40;

// The name for one snapshot: prefix + "snap" + at least four digits + ".bmp".
std::string snapshotName(const std::string& dumpPrefix, std::int32_t number);

// The length of the BMP file for a `width` x `height` 16-bit image. False when
// a dimension is negative or the length does not fit the header's 32-bit field.
bool bmpFileSize(std::int32_t width, std::int32_t height, std::uint32_t& fileSize);

// Fills the 54 header bytes at `header`; the sizes must have passed bmpFileSize.
void fillBmpHeaders(unsigned char* header, std::int32_t width, std::int32_t height);

enum class SnapshotResult { written, failed, stopped };

// Probes names upward from `snapshotNumber`, prints "\nOpening: <name>", and
// writes the file. After a write `snapshotNumber` holds the number after the
// name used; after a failure, that name's number. Every failure is reported
// on standard output and leaves no file behind. An image of several blocks
// is given up between blocks when a stop was requested: its file is removed
// and nothing is printed (stopped).
SnapshotResult writeSnapshot(const unsigned char* pixels, std::uint32_t sourceStride,
                             std::int32_t bitsPerPixel, std::int32_t width, std::int32_t height,
                             const std::string& dumpPrefix, std::int32_t& snapshotNumber);

}  // namespace velloran
