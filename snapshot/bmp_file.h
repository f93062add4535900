// The snapshot file: an uncompressed BMP, little-endian, no gaps. For the
// default format (and every 5-5-5 one):
//
//   offset size field             value
//   0      2    bfType            "BM"
//   2      4    bfSize            54 + rowBytes x height: the whole file
//   6      2    bfReserved1       0
//   8      2    bfReserved2       0
//   10     4    bfOffBits         54: where the rows start
//   14     4    biSize            40
//   18     4    biWidth           width
//   22     4    biHeight          height, positive: bottom row first
//   26     2    biPlanes          1
//   28     2    biBitCount        16
//   30     4    biCompression     0 (BI_RGB)
//   34     4x5  biSizeImage, biXPelsPerMeter, biYPelsPerMeter,
//               biClrUsed, biClrImportant: 0
//   54          the rows, bottom row first, each rowBytes long: the pixels
//               (pixel_conversion.h), zero bytes up to a multiple of 4
//
// Other formats (bmp_pixels.h) change these fields:
//
//   5-6-5     biCompression 3 (BI_BITFIELDS), then the masks R F800, G 07E0,
//             B 001F at 54; bfOffBits 66
//   24-bit    biBitCount 24
//   32-bit    biSize 124 (BITMAPV5HEADER), biBitCount 32, biCompression 3, the
//             masks R 00FF0000, G 0000FF00, B 000000FF, A FF000000 at 54,
//             bV5CSType "sRGB", bV5Intent 4 (LCS_GM_IMAGES), the rest 0;
//             bfOffBits 138
//   indexed   biBitCount 1, 4 (2- and 4-bit indices) or 8, biClrUsed the
//             colour table's entries: 2, 4, 16 or 256 (2^bits), then the
//             table at 54: B G R 0 per colour, the palette as used;
//             bfOffBits 54 + 4 x entries. Rows pack the indices, the
//             leftmost pixel in a byte's highest bits
#pragma once

#include <cstdint>
#include <string>

#include "snapshot/bmp_pixels.h"

namespace velloran {

// The bytes before the rows: the two headers and any masks.
std::uint32_t bmpHeaderBytes(BmpPixels pixels);

// The largest header of all, for buffers that may hold any: 8-bit indices
// and their 256 colours.
constexpr std::uint32_t kLargestBmpHeader = 14 + 40 + 4 * 256;

// The length of the BMP file for a `width` x `height` image in `pixels`. False
// when the length does not fit the header's 32-bit field.
bool bmpFileSize(std::uint32_t width, std::uint32_t height, BmpPixels pixels, std::uint32_t& fileSize);

// Fills the bmpHeaderBytes(pixels) bytes at `header`, an indexed format's
// colour table from `palette` (0xRRGGBB; black without one); the sizes must
// have passed bmpFileSize.
void fillBmpHeaders(unsigned char* header, std::uint32_t width, std::uint32_t height, BmpPixels pixels,
                    const std::uint32_t* palette = nullptr);

}  // namespace velloran
