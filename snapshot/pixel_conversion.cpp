#include "snapshot/pixel_conversion.h"

#include <cstring>

namespace velloran {

namespace {

// One row, byte by byte so that it is independent of the host's byte order.
// The loop has no branches and a size_t index that cannot wrap, so the
// compiler vectorises it.
void convertRow(const unsigned char* source, std::size_t width, unsigned char* destination) {
  for (std::size_t i = 0; i < width * 2; i += 2) {
    const std::uint16_t swapped = swapRedBlue(pixelWordAt(source + i));
    destination[i] = static_cast<unsigned char>(swapped & 0xFFu);
    destination[i + 1] = static_cast<unsigned char>(swapped >> 8);
  }
}

}  // namespace

void convertImage(const unsigned char* source, std::size_t sourceStride, std::uint32_t width,
                  std::uint32_t height, unsigned char* destination, std::size_t rowBytes) {
  const std::size_t pixelBytes = std::size_t{width} * 2;
  for (std::uint32_t row = 0; row < height; ++row) {
    unsigned char* target = destination + rowBytes * (height - 1 - row);
    convertRow(source + sourceStride * row, width, target);
    std::memset(target + pixelBytes, 0, rowBytes - pixelBytes);
  }
}

}  // namespace velloran
