// A picture as the hardware draws it from a tilemap: each entry's tile at
// its place, mirrored as its flips say, its colours moved into its bank.
// Pure: the tiles and the map are bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixels/map_format.h"
#include "pixels/pixel_format.h"

namespace velloran {

// How the map's entries are stored: row after row of the whole picture, or
// in 32x32 blocks, one after the other (left to right, then down), as
// hardware with 32-entry screens keeps maps wider than that.
enum class MapOrder { rows, blocks };

constexpr std::uint32_t kMapBlockSide = 32;

// Where the entry of tile (x, y) of a picture `columns` tiles wide is kept,
// counted in entries from the map's start.
std::uint64_t mapEntryIndex(MapOrder order, std::uint32_t columns, std::uint32_t x, std::uint32_t y);

// The map's bytes for a picture of `columns` x `rows` tiles.
std::uint64_t mapBytesOf(const MapFormat& format, MapOrder order, std::uint32_t columns, std::uint32_t rows);

// Whether the picture's indices need 8 bits: tiles of fewer bits in banks.
bool mapNeedsByteIndices(const MapFormat& format, const PixelFormat& tiles);

// The tiles a map may name, unpacked once: `tileCount` 8x8 tiles of
// indices, from the tiles' bytes (`held` of them; a tile whose first byte is
// past them is not held).
struct UnpackedTiles {
  std::vector<unsigned char> indices;  // tile k's row r at (8k + r) * 8
  std::uint32_t held = 0;
};

UnpackedTiles unpackTiles(const PixelFormat& tiles, const unsigned char* bytes, std::size_t held, std::uint32_t tileCount);

// The highest tile number the map's entries can name, plus one.
std::uint32_t tilesNameable(const MapFormat& format);

// Draws one picture of `columns` x `rows` tiles from its map into `indices`
// (one byte a pixel, row after row): a tile not held draws colour 0, and
// `tileNotHeld` is set. Indices are moved into their banks.
void drawMapPicture(const UnpackedTiles& tiles, unsigned tileBits, const MapFormat& format, MapOrder order,
                    const unsigned char* map, std::uint32_t columns, std::uint32_t rows, unsigned char* indices,
                    bool& tileNotHeld);

}  // namespace velloran
