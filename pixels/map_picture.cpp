#include "pixels/map_picture.h"

#include <algorithm>

#include "pixels/pixel_decoder.h"

namespace velloran {

std::uint64_t mapEntryIndex(MapOrder order, std::uint32_t columns, std::uint32_t x, std::uint32_t y) {
  if (order == MapOrder::rows) return std::uint64_t{y} * columns + x;
  const std::uint64_t blocksAcross = (columns + kMapBlockSide - 1) / kMapBlockSide;
  const std::uint64_t block = (y / kMapBlockSide) * blocksAcross + x / kMapBlockSide;
  return block * kMapBlockSide * kMapBlockSide + (y % kMapBlockSide) * kMapBlockSide + x % kMapBlockSide;
}

std::uint64_t mapBytesOf(const MapFormat& format, MapOrder order, std::uint32_t columns, std::uint32_t rows) {
  if (order == MapOrder::rows) return std::uint64_t{columns} * rows * format.wordBytes;
  const std::uint64_t blocks = std::uint64_t{(columns + kMapBlockSide - 1) / kMapBlockSide} *
                               ((rows + kMapBlockSide - 1) / kMapBlockSide);
  return blocks * kMapBlockSide * kMapBlockSide * format.wordBytes;
}

bool mapNeedsByteIndices(const MapFormat& format, const PixelFormat& tiles) {
  return format.bank.bits != 0 && tiles.indexBits < 8;
}

std::uint32_t tilesNameable(const MapFormat& format) {
  return std::uint32_t{1} << format.tile.bits;
}

UnpackedTiles unpackTiles(const PixelFormat& tiles, const unsigned char* bytes, std::size_t held, std::uint32_t tileCount) {
  const std::uint64_t tileSize = tileBytes(tiles);
  UnpackedTiles unpacked;
  unpacked.held = static_cast<std::uint32_t>(std::min<std::uint64_t>(tileCount, (held + tileSize - 1) / tileSize));
  unpacked.indices.assign(std::size_t{tileCount} * kTileSide * kTileSide, 0);
  // A tile the bytes end inside reads zeros for the rest, as a dump does.
  std::vector<unsigned char> whole(static_cast<std::size_t>(unpacked.held * tileSize), 0);
  std::copy(bytes, bytes + std::min<std::size_t>(held, whole.size()), whole.begin());
  // Tiles one under another make an image one tile wide: one call unpacks them all.
  unpackIndices(tiles, whole.data(), kTileSide, unpacked.held * kTileSide, unpacked.indices.data());
  return unpacked;
}

void drawMapPicture(const UnpackedTiles& tiles, unsigned tileBits, const MapFormat& format, MapOrder order,
                    const unsigned char* map, std::uint32_t columns, std::uint32_t rows, unsigned char* indices,
                    bool& tileNotHeld) {
  const std::size_t width = std::size_t{columns} * kTileSide;
  for (std::uint32_t y = 0; y < rows; ++y) {
    for (std::uint32_t x = 0; x < columns; ++x) {
      const MapEntry entry = mapEntryAt(format, map + mapEntryIndex(order, columns, x, y) * format.wordBytes);
      unsigned char* to = indices + std::size_t{y} * kTileSide * width + std::size_t{x} * kTileSide;
      if (entry.tile >= tiles.held) {
        tileNotHeld = true;
        for (std::uint32_t row = 0; row < kTileSide; ++row) std::fill_n(to + row * width, kTileSide, 0);
        continue;
      }
      const unsigned char* tile = tiles.indices.data() + std::size_t{entry.tile} * kTileSide * kTileSide;
      for (std::uint32_t row = 0; row < kTileSide; ++row) {
        const unsigned char* from = tile + (entry.flipY ? kTileSide - 1 - row : row) * kTileSide;
        unsigned char* line = to + row * width;
        for (std::uint32_t column = 0; column < kTileSide; ++column) {
          const unsigned index = from[entry.flipX ? kTileSide - 1 - column : column];
          line[column] = static_cast<unsigned char>(bankedIndex(index, entry.bank, tileBits));
        }
      }
    }
  }
}

}  // namespace velloran
