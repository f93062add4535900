#include "snapshot/bmp_file.h"

#include <limits>

#include "snapshot/pixel_conversion.h"

namespace velloran {

namespace {

// Stores `value` little-endian and returns the byte after it.
unsigned char* put16(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value & 0xFFu);
  at[1] = static_cast<unsigned char>((value >> 8) & 0xFFu);
  return at + 2;
}

unsigned char* put32(unsigned char* at, std::uint32_t value) {
  return put16(put16(at, value & 0xFFFFu), value >> 16);
}

std::uint64_t fileBytesOf(std::int32_t width, std::int32_t height) {
  return kBmpHeaderBytes + rowBytesFor(static_cast<std::uint32_t>(width)) * static_cast<std::uint32_t>(height);
}

}  // namespace

ImageSize imageSize(std::int32_t width, std::int32_t height) {
  if (width < 0 || height < 0) return ImageSize::negative;
  const std::uint64_t rawBytes = std::uint64_t{static_cast<std::uint32_t>(width)} *
                                 static_cast<std::uint32_t>(height) * 2;
  if (rawBytes > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return ImageSize::rawTooLarge;
  }
  std::uint32_t fileSize = 0;
  return bmpFileSize(width, height, fileSize) ? ImageSize::fits : ImageSize::fileTooLarge;
}

const char* imageSizeText(ImageSize size) {
  switch (size) {
    case ImageSize::fits:
      return "";
    case ImageSize::negative:
      return "Negative numbers cannot be used here.";
    case ImageSize::rawTooLarge:
      return "Image too large: width x height x 2 must stay within 2147483647 bytes.";
    case ImageSize::fileTooLarge:
      break;
  }
  return "Image too large: its BMP file must stay within 4294967295 bytes.";
}

bool bmpFileSize(std::int32_t width, std::int32_t height, std::uint32_t& fileSize) {
  if (width < 0 || height < 0 || fileBytesOf(width, height) > std::numeric_limits<std::uint32_t>::max()) {
    return false;
  }
  fileSize = static_cast<std::uint32_t>(fileBytesOf(width, height));
  return true;
}

// Field by field, in the order of the table in bmp_file.h.
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

}  // namespace velloran
