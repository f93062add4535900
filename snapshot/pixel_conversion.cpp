#include "snapshot/pixel_conversion.h"

#include <cstring>

namespace velloran {

void convertRows(const BmpPlan& plan, const PixelDecoder& decoder, const unsigned char* source,
                 std::size_t sourceStride, std::uint32_t width, std::uint32_t height, unsigned char* destination,
                 std::size_t rowBytes) {
  const std::size_t pixelBytes = (std::size_t{width} * plan.fileBits + 7) / 8;
  for (std::uint32_t row = 0; row < height; ++row) {
    unsigned char* target = destination + rowBytes * (height - 1 - row);
    encodeBmpPixels(plan, decoder, source + sourceStride * row, width, target);
    std::memset(target + pixelBytes, 0, rowBytes - pixelBytes);
  }
}

void convertImage(const unsigned char* source, std::size_t sourceStride, std::uint32_t width,
                  std::uint32_t height, unsigned char* destination, std::size_t rowBytes) {
  static const BmpPlan plan = planBmp(defaultFormat());
  convertRows(plan, defaultDecoder(), source, sourceStride, width, height, destination, rowBytes);
}

}  // namespace velloran
