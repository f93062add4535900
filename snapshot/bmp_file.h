// The snapshot file: an uncompressed 16-bit BMP, little-endian, no gaps.
//
//   offset size field             value
//   0      2    bfType            "BM"
//   2      4    bfSize            54 + rowBytes x height: the whole file
//   6      2    bfReserved1       0
//   8      2    bfReserved2       0
//   10     4    bfOffBits         54
//   14     4    biSize            40
//   18     4    biWidth           width
//   22     4    biHeight          height, positive: bottom row first
//   26     2    biPlanes          1
//   28     2    biBitCount        16
//   30     4    biCompression     0 (BI_RGB)
//   34     4x5  biSizeImage, biXPelsPerMeter, biYPelsPerMeter,
//               biClrUsed, biClrImportant: 0
//   54          the rows, bottom row first, each rowBytes long: two bytes a
//               pixel (pixel_conversion.h), zero bytes up to a multiple of 4
#pragma once

#include <cstdint>

namespace velloran {

constexpr std::uint32_t kBmpHeaderBytes = 14 + 40;

// The one rule for the largest image, for the answers' checks and the writer.
enum class ImageSize {
  fits,
  negative,       // a width or height below 0
  rawTooLarge,    // width x height x 2 bytes of ROM beyond 2147483647
  fileTooLarge,   // its BMP file beyond the header's 4294967295 bytes
};

ImageSize imageSize(std::int32_t width, std::int32_t height);

// Why an image does not fit, naming the limit it passes.
const char* imageSizeText(ImageSize size);

// The length of the BMP file for a `width` x `height` 16-bit image. False when
// a dimension is negative or the length does not fit the header's 32-bit field.
bool bmpFileSize(std::int32_t width, std::int32_t height, std::uint32_t& fileSize);

// Fills the 54 header bytes at `header`; the sizes must have passed bmpFileSize.
void fillBmpHeaders(unsigned char* header, std::int32_t width, std::int32_t height);

}  // namespace velloran
