#include "snapshot/bmp_file.h"

#include <limits>

#include "snapshot/pixel_conversion.h"

namespace velloran {

namespace {

constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kV5HeaderBytes = 124;
constexpr std::uint32_t kBitFields = 3;

// Stores `value` little-endian and returns the byte after it.
unsigned char* put16(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value & 0xFFu);
  at[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
  return at + 2;
}

unsigned char* put32(unsigned char* at, std::uint32_t value) {
  return put16(put16(at, value & 0xFFFFu), value >> 16);
}

std::uint64_t fileBytesOf(std::uint32_t width, std::uint32_t height, BmpPixels pixels) {
  return bmpHeaderBytes(pixels) + rowBytesFor(width, bmpBitsPerPixel(pixels)) * height;
}

}  // namespace

std::uint32_t bmpHeaderBytes(BmpPixels pixels) {
  switch (pixels) {
    case BmpPixels::rgb565:
      return 14 + kInfoHeaderBytes + 12;
    case BmpPixels::bgra32:
      return 14 + kV5HeaderBytes;
    default:
      return 14 + kInfoHeaderBytes + 4 * bmpPaletteEntries(pixels);
  }
}

bool bmpFileSize(std::uint32_t width, std::uint32_t height, BmpPixels pixels, std::uint32_t& fileSize) {
  if (fileBytesOf(width, height, pixels) > std::numeric_limits<std::uint32_t>::max()) return false;
  fileSize = static_cast<std::uint32_t>(fileBytesOf(width, height, pixels));
  return true;
}

// Field by field, in the order of the table in bmp_file.h.
void fillBmpHeaders(unsigned char* header, std::uint32_t width, std::uint32_t height, BmpPixels pixels,
                    const std::uint32_t* palette) {
  const auto fileSize = static_cast<std::uint32_t>(fileBytesOf(width, height, pixels));
  const bool v5 = pixels == BmpPixels::bgra32;
  const bool bitFields = pixels == BmpPixels::rgb565 || v5;
  unsigned char* at = header;
  at = put16(at, 0x4D42);                                        // bfType: "BM"
  at = put32(at, fileSize);                                      // bfSize
  at = put16(at, 0);                                             // bfReserved1
  at = put16(at, 0);                                             // bfReserved2
  at = put32(at, bmpHeaderBytes(pixels));                        // bfOffBits
  at = put32(at, v5 ? kV5HeaderBytes : kInfoHeaderBytes);        // biSize
  at = put32(at, width);                                         // biWidth
  at = put32(at, height);                                        // biHeight: positive, bottom row first
  at = put16(at, 1);                                             // biPlanes
  at = put16(at, bmpBitsPerPixel(pixels));                       // biBitCount
  at = put32(at, bitFields ? kBitFields : 0);                    // biCompression: BI_RGB or BI_BITFIELDS
  at = put32(at, 0);                                             // biSizeImage
  at = put32(at, 0);                                             // biXPelsPerMeter
  at = put32(at, 0);                                             // biYPelsPerMeter
  at = put32(at, bmpPaletteEntries(pixels));                     // biClrUsed
  at = put32(at, 0);                                             // biClrImportant
  for (unsigned entry = 0; entry < bmpPaletteEntries(pixels); ++entry) {
    const std::uint32_t colour = palette != nullptr ? palette[entry] : 0;
    at = put32(at, colour & 0xFFFFFFu);                          // B, G, R, 0
  }
  if (pixels == BmpPixels::rgb565) {
    at = put32(at, 0xF800);                                      // red mask
    at = put32(at, 0x07E0);                                      // green mask
    put32(at, 0x001F);                                           // blue mask
  } else if (v5) {
    at = put32(at, 0x00FF0000);                                  // bV5RedMask
    at = put32(at, 0x0000FF00);                                  // bV5GreenMask
    at = put32(at, 0x000000FF);                                  // bV5BlueMask
    at = put32(at, 0xFF000000);                                  // bV5AlphaMask
    at = put32(at, 0x73524742);                                  // bV5CSType: "sRGB"
    for (int zero = 0; zero < 9 + 3; ++zero) at = put32(at, 0);  // bV5Endpoints, bV5Gamma*
    at = put32(at, 4);                                           // bV5Intent: LCS_GM_IMAGES
    at = put32(at, 0);                                           // bV5ProfileData
    at = put32(at, 0);                                           // bV5ProfileSize
    put32(at, 0);                                                // bV5Reserved
  }
}

}  // namespace velloran
