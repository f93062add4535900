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
      if (isIndexed(format)) return textWith(Text::imageTooLargeIndexed, {std::to_string(format.indexBits)});
      return textWith(Text::imageTooLargeDirect, {std::to_string(format.wordBytes)});
    case ImageSize::notWholeTiles:
      return textWith(Text::notWholeTiles, {format.name});
    case ImageSize::tilesTooWide:
      return textWith(Text::tilesTooWide, {std::to_string(kWidestTiles)});
    case ImageSize::fileTooLarge:
      break;
  }
  return textOf(Text::fileTooLarge);
}

}  // namespace velloran
