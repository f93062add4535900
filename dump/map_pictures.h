// Pictures drawn from tilemaps (--map): the map read from the ROM or a
// file, decoded where it is a stream, and each picture drawn into memory,
// where the dump reads its images from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixels/map_picture.h"
#include "pixels/pixel_format.h"
#include "platform/platform.h"
#include "streams/compressed_stream.h"

namespace velloran {

struct MapChoice {
  bool given = false;
  std::string source;        // as given: a ROM offset, FILE or FILE@OFFSET
  bool inRom = true;
  std::uint64_t offset = 0;  // in the ROM or the file
  std::string path;
  MapFormat format = defaultMapFormat();
  Compression compression = Compression::none;
  MapOrder order = MapOrder::rows;
};

// Takes a source as --map gives it, as --palette takes one.
void setMapSource(MapChoice& map, const std::string& source);

// The map of picture `picture` as the PNG's Map text gives it: its offset
// in hex, or the file and its offset.
std::string mapText(const MapChoice& map, std::uint64_t picture = 0, std::uint64_t mapBytes = 0);

struct MapPictures {
  std::vector<unsigned char> bytes;  // the pictures, one after the other, in `format`
  std::uint64_t pictureBytes = 0;    // each picture's
  std::uint64_t mapBytes = 0;        // each map's
  std::vector<unsigned char> maps;   // the maps themselves, as read (decoded where they were a stream)
  PixelFormat format;                // linear indices: 8 bits where banks need them, else the tiles'
  bool tileNotHeld = false;          // a tile past the ROM's end was drawn in colour 0
  std::string problem;               // why the map cannot be used, naming the option
};

// The bits of each pixel of the pictures: what their palette holds 2^bits of.
unsigned mapPictureBits(const MapChoice& map, const PixelFormat& tiles);

// `count` pictures of width x height pixels, their tiles from `tilesAt` of
// `rom` (which can seek), their maps one after the other. False, with the
// problem, before anything is drawn.
bool drawMapPictures(const FileHandle& rom, const MapChoice& map, const PixelFormat& tiles, std::uint64_t tilesAt,
                     std::uint32_t width, std::uint32_t height, std::uint32_t count, MapPictures& pictures);

}  // namespace velloran
