// Stores raw images as BMP files (bmp_file.h) under the first free
// numbered name, block by block, so that an image of any size needs little
// memory. Prints nothing: its callers say what happened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pixels/pixel_decoder.h"
#include "snapshot/bmp_pixels.h"
#include "platform/platform.h"

namespace velloran {

// The snapshots' file types; the names of each are counted on their own.
constexpr const char* kBmpExtension = ".bmp";
constexpr const char* kPngExtension = ".png";

// The name for one snapshot: prefix + "snap" + at least four digits + the
// extension (".bmp" or ".png").
std::string snapshotName(const std::string& dumpPrefix, std::int32_t number, const char* extension = kBmpExtension);

// An image's size, and its pixels' bits in the ROM and in the file.
struct ImageShape {
  std::uint32_t width;
  std::uint32_t height;
  unsigned romBits;     // per pixel in the ROM
  unsigned pixelBytes;  // per pixel as the decoder takes them (PixelDecoder)
  unsigned fileBits;    // per pixel in the BMP file
  unsigned stripRows;   // rows the ROM keeps together: 8 for tiles, else 1
};

ImageShape shapeOf(std::uint32_t width, std::uint32_t height, const PixelDecoder& decoder);

// Part of an image as the ROM holds it: whole rows (whole rows of tiles), or,
// for a row longer than a block, a run of one row's pixels (never in tiles). An
// image is read and written block by block in ROM order, top row first.
struct ImageBlock {
  std::uint32_t firstRow;
  std::uint32_t rowCount;
  std::uint32_t firstColumn;
  std::uint32_t columnCount;
};

// A block's rows take at most this many bytes in the file.
constexpr std::size_t kBlockBytes = std::size_t{4} << 20;

// The first block of an image. An image without pixel bytes is one empty block.
ImageBlock firstBlock(const ImageShape& shape);

// Moves `block` on to the next one in ROM order; false after the last.
bool nextBlock(const ImageShape& shape, ImageBlock& block);

// The ROM bytes a block covers, which follow each other in the ROM.
std::size_t rawBytesOf(const ImageShape& shape, const ImageBlock& block);

// The block's pixels as the decoder takes them: the ROM's bytes themselves
// for direct colour, an index byte a pixel for indexed formats.
std::size_t pixelBytesOf(const ImageShape& shape, const ImageBlock& block);

// The room writeSnapshotBlock needs for any block of such an image: the
// largest block's rows and the largest headers.
std::size_t blockBufferBytes(const ImageShape& shape);

// One snapshot file being written: its name and the open file.
struct SnapshotFile {
  std::string name;
  FileHandle file;
  std::uint64_t length = 0;      // how far the file's writes reach so far
  std::uint64_t fullLength = 0;  // how long it will be
};

// The numbers that names in the prefix's folder already take: exactly the
// names snapshotName gives for this prefix, whatever is under them.
struct TakenNumbers {
  bool listed = false;               // false: the folder could not be listed
  std::vector<std::int32_t> numbers; // in increasing order
  std::size_t next = 0;              // numbers below numbers[next] were asked about already
};

// One listing of the prefix's folder, for a whole run.
TakenNumbers listTakenNumbers(const std::string& dumpPrefix, const char* extension = kBmpExtension);

// Creates the file for the next snapshot under the first number from
// `snapshotNumber` up that the listing does not show as taken (every one,
// when it is not `listed`). Exclusive creation decides: nothing already
// there is ever opened, and a name that turns out taken moves on to the
// next. `snapshot.name` is the name created, or the last one tried, and
// `snapshotNumber` its number. Numbers must be asked for in increasing order.
CreateResult createSnapshotFile(const std::string& dumpPrefix, std::int32_t& snapshotNumber,
                                TakenNumbers& taken, SnapshotFile& snapshot, const char* extension = kBmpExtension);

// Converts `pixels` (the block's, pixelBytesOf) in `buffer` (blockBufferBytes) and
// writes it where it belongs in the file. The block that holds the file's
// first row carries the headers with it, so a one-block snapshot is one write.
// Rows past the ROM's end (`rawIsZeros`) are never written: they stay holes
// that read as zero bytes and, where the file system can, take no room.
bool writeSnapshotBlock(SnapshotFile& snapshot, const BmpPlan& plan, const PixelDecoder& decoder,
                        const ImageShape& shape, const ImageBlock& block, const unsigned char* pixels, bool rawIsZeros,
                        unsigned char* buffer);

// Gives a snapshot whose blocks were all written its full length and closes
// it; false when the system did not accept everything.
bool finishSnapshotFile(SnapshotFile& snapshot);

// Removes a snapshot that cannot be completed, so that no incomplete file is
// left under its name; false when it could not be removed.
bool discardSnapshotFile(SnapshotFile& snapshot);

}  // namespace velloran
