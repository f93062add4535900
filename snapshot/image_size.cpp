#include "snapshot/image_size.h"

#include <limits>

#include "snapshot/bmp_file.h"
#include "texts/texts.h"

namespace velloran {

ImageSize imageSize(std::int64_t width, std::int64_t height, const PixelFormat& format) {
  if (width < 0 || height < 0) return ImageSize::negative;
  constexpr std::int64_t kLargestSide = std::numeric_limits<std::uint32_t>::max();
  if (width > kLargestSide || height > kLargestSide) return ImageSize::rawTooLarge;
  if (isTiled(format) && (width % kTileSide != 0 || height % kTileSide != 0)) return ImageSize::notWholeTiles;
  if (isTiled(format) && width > kWidestTiles) return ImageSize::tilesTooWide;
  // Within 32 bits now, unsigned.
  const auto across = static_cast<std::uint32_t>(width);
  const auto down = static_cast<std::uint32_t>(height);
  if (romBytesOf(format, across, down) > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return ImageSize::rawTooLarge;
  }
  std::uint32_t fileSize = 0;
  return bmpFileSize(across, down, bmpPixelsOf(format), fileSize) ? ImageSize::fits : ImageSize::fileTooLarge;
}

std::string imageSizeText(ImageSize size, const PixelFormat& format) {
  switch (size) {
    case ImageSize::fits:
      return "";
    case ImageSize::negative:
      return textOf(Text::negative);
    case ImageSize::rawTooLarge:
      if (isIndexed(format)) {
        return "Image too large: width x height x " + std::to_string(format.indexBits) +
               " / 8 must stay within 2147483647 bytes.";
      }
      return "Image too large: width x height x " + std::to_string(format.wordBytes) +
             " must stay within 2147483647 bytes.";
    case ImageSize::notWholeTiles:
      return "The format " + format.name + " is made of 8x8 tiles: width and height must be multiples of 8.";
    case ImageSize::tilesTooWide:
      return "Image too large: tiles are read a row of tiles at a time, at most " + std::to_string(kWidestTiles) +
             " pixels wide.";
    case ImageSize::fileTooLarge:
      break;
  }
  return textOf(Text::fileTooLarge);
}

}  // namespace velloran
