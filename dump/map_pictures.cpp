#include "dump/map_pictures.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "dump/palette_source.h"
#include "pixels/image_rows.h"
#include "pixels/pixel_decoder.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {

namespace {

// The pictures kept in memory at most.
constexpr std::uint64_t kLargestPictures = std::uint64_t{256} << 20;


std::string named(const MapChoice& map) {
  return "--map " + printableText(map.source);
}

// The map's bytes: `wanted` of them from its place, decoded first where it
// is a stream.
bool readMap(const FileHandle& rom, const MapChoice& map, std::uint64_t wanted, std::vector<unsigned char>& bytes,
             std::string& problem) {
  std::string whyNot;
  FileHandle file;
  if (!map.inRom) {
    file = openForReading(map.path, whyNot, false);
    if (!file.isOpen()) {
      problem = named(map) + ": " + whyNot;
      return false;
    }
  }
  const FileHandle& from = map.inRom ? rom : file;
  std::uint64_t length = 0;
  if (!fileLength(from, length)) {
    problem = named(map) + ": " + textOf(Text::mapNeedsSeek);
    return false;
  }
  const char* where = textOf(map.inRom ? Text::theRom : Text::theFile);
  if (map.offset >= length) {
    problem = named(map) + ": " + textWith(Text::pastTheEndOf, {offsetText(map.offset), where, std::to_string(length)});
    return false;
  }
  if (map.compression == Compression::none) {
    if (wanted > length - map.offset) {
      problem = named(map) + ": " + textWith(Text::mapEndsPast, {std::to_string(wanted), where, std::to_string(length)});
      return false;
    }
    bytes.resize(static_cast<std::size_t>(wanted));
    if (readAt(from, map.offset, bytes.data(), bytes.size()).bytesRead != bytes.size()) {
      problem = named(map) + ": " + textWith(Text::cannotBeRead, {where});
      return false;
    }
    return true;
  }
  std::vector<unsigned char> stream;
  readSourceBytes(romAtOffsets(from), map.offset, kLongestStreamBytes, stream, []() { return true; });
  DecodedStream decoded = decodeStream(stream.data(), stream.size(), map.compression);
  if (decoded.problem != StreamProblem::none) {
    problem = "--map-compression: " + streamProblemText(decoded, map.offset, map.compression);
    return false;
  }
  if (decoded.bytes.size() < wanted) {
    problem = "--map-compression: " +
              textWith(Text::decodedMapShort, {std::to_string(decoded.bytes.size()), std::to_string(wanted)});
    return false;
  }
  bytes = std::move(decoded.bytes);
  return true;
}

// The format's problem with the map, or nothing.
std::string mapProblem(const MapChoice& map, const PixelFormat& tiles) {
  if (!isTiled(tiles)) return "--map: " + textWith(Text::mapNeedsTiles, {tiles.name});
  if (mapNeedsByteIndices(map.format, tiles) && map.format.bank.bits + tiles.indexBits > 8) {
    return "--map-format: " +
           textWith(Text::bankTooWide, {std::to_string(map.format.bank.bits), std::to_string(tiles.indexBits)});
  }
  return "";
}

}  // namespace

void setMapSource(MapChoice& map, const std::string& source) {
  PaletteChoice place;  // read as --palette reads its source
  setPaletteSource(place, source);
  map.given = true;
  map.source = source;
  map.inRom = place.from != PaletteFrom::file;
  map.offset = place.offset;
  map.path = place.path;
}

std::string mapText(const MapChoice& map, std::uint64_t picture, std::uint64_t mapBytes) {
  const std::string offset = offsetText(map.offset + picture * mapBytes);
  if (map.compression != Compression::none) {
    // A stream's pictures are all in it: their place is the stream's, and which one.
    const std::string stream = map.inRom ? offsetText(map.offset) : fileNameOf(map.path) + "@" + offsetText(map.offset);
    return stream + " (" + compressionName(map.compression) + ", map " + std::to_string(picture) + ")";
  }
  return map.inRom ? offset : fileNameOf(map.path) + "@" + offset;
}

unsigned mapPictureBits(const MapChoice& map, const PixelFormat& tiles) {
  return mapNeedsByteIndices(map.format, tiles) ? 8 : tiles.indexBits;
}

bool drawMapPictures(const FileHandle& rom, const MapChoice& map, const PixelFormat& tiles, std::uint64_t tilesAt,
                     std::uint32_t width, std::uint32_t height, std::uint32_t count, MapPictures& pictures) {
  pictures.problem = mapProblem(map, tiles);
  if (!pictures.problem.empty()) return false;
  const std::uint32_t columns = width / kTileSide;
  const std::uint32_t rows = height / kTileSide;
  const std::uint64_t pixels = std::uint64_t{width} * height;
  if (pixels * count > kLargestPictures) {
    pictures.problem = "--map: " + textWith(Text::mapPicturesTooLarge, {std::to_string(count), std::to_string(width),
                                                                        std::to_string(height)});
    return false;
  }
  const std::uint64_t mapBytes = mapBytesOf(map.format, map.order, columns, rows);
  std::vector<unsigned char>& maps = pictures.maps;
  if (!readMap(rom, map, mapBytes * count, maps, pictures.problem)) return false;
  // Every tile the entries can name, read once.
  const std::uint32_t nameable = tilesNameable(map.format);
  std::vector<unsigned char> tileBytes;
  readSourceBytes(romAtOffsets(rom), tilesAt, static_cast<std::size_t>(nameable * velloran::tileBytes(tiles)),
                  tileBytes, []() { return true; });
  const UnpackedTiles unpacked = unpackTiles(tiles, tileBytes.data(), tileBytes.size(), nameable);
  const unsigned bits = mapPictureBits(map, tiles);
  FormatRefusal refusal;
  parseFormat("i" + std::to_string(bits), pictures.format, refusal);
  std::vector<unsigned char> indices(static_cast<std::size_t>(pixels));
  const std::size_t pictureBytes = static_cast<std::size_t>(pixels * bits / 8);
  pictures.bytes.assign(pictureBytes * count, 0);
  pictures.pictureBytes = pictureBytes;
  pictures.mapBytes = mapBytes;
  for (std::uint32_t picture = 0; picture < count; ++picture) {
    drawMapPicture(unpacked, tiles.indexBits, map.format, map.order, maps.data() + picture * mapBytes, columns, rows,
                   indices.data(), pictures.tileNotHeld);
    packIndices(indices.data(), indices.size(), bits, pictures.bytes.data() + picture * pictureBytes);
  }
  return true;
}

}  // namespace velloran
