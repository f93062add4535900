// The PNG snapshot (--png), written as the image's rows arrive, top row
// first, so that an image of any size needs little memory:
//
//   89 50 4E 47 0D 0A 1A 0A   the signature
//   IHDR   width, height, bit depth 8, colour type 2 (RGB) or 6 (RGBA where
//          the format has alpha), deflate, adaptive filters, no interlace;
//          indexed formats: bit depth 1, 2, 4 or 8, colour type 3
//   sBIT   direct colour: the format's own bits per channel (5, 5, 5 for
//          the default)
//   PLTE   indexed formats: the palette as used, 2^bits colours
//   tEXt   the origin, so that the file can be dumped again: Source (the
//          ROM's file name), Offset (0x and hex digits), Width, Height,
//          Format, Palette and Palette bank where there is one, Software;
//          iTXt for a value that is not ASCII
//   IDAT   the rows, each after its filter byte, deflated by zlib
//   IEND
//
// Each field widened to 8 bits by repeating its bits, as in the BMP. No
// time stamp: the same ROM and arguments give the same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pixels/pixel_decoder.h"
#include "snapshot/snapshot_writer.h"

namespace velloran {

// Where a snapshot came from, for its tEXt chunks.
struct SnapshotOrigin {
  std::string source;    // the ROM's file name
  std::uint64_t offset;  // of this image in the ROM
  std::string format;    // the format's name or description
  std::string software;  // "velloran" and its version
  std::string palette;      // where an indexed format's palette came from; empty: none given
  std::string paletteBank;  // its bank, where one was given
  std::string compression;  // the stream's type, where the image was decoded from one;
  std::uint64_t streamOffset = 0;  // its offset in the ROM; `offset` is then the image's in its decoded bytes
  std::string map = {};        // where the picture's tilemap is, for a picture drawn from one
  std::string mapFormat = {};  // and its entries' layout
};

struct ZlibStream;  // zlib's state, released with its owner

// The deflate state and buffers of one dump, made once and used for each
// of its PNG snapshots in turn.
struct PngStream {
  PngStream();
  ~PngStream();
  PngStream(const PngStream&) = delete;
  PngStream& operator=(const PngStream&) = delete;

  std::unique_ptr<ZlibStream> zlib;
  bool alpha = false;
  bool indexed = false;        // colour type 3: rows of packed indices
  unsigned indexBits = 0;
  std::uint64_t rowBytes = 0;  // of one decoded row, without its filter byte
  std::vector<unsigned char> previous;   // the row above, decoded
  std::vector<unsigned char> current;
  std::vector<unsigned char> filtered;   // the best filter's row, with its filter byte
  std::vector<unsigned char> trial;
  std::vector<unsigned char> deflated;   // zlib's output, one IDAT chunk's worth
  std::size_t deflatedBytes = 0;         // of it so far
  std::vector<unsigned char> pending;    // the file's next bytes, written when large or at the end
  bool ready = false;                    // zlib started
};

// Starts zlib; false when there is no memory for it.
bool startPngStream(PngStream& png);

// Begins a snapshot: its chunks up to the first IDAT, held until written.
void beginPng(PngStream& png, const PixelDecoder& decoder, const ImageShape& shape, const SnapshotOrigin& origin);

// Adds a block's rows (or a run of a long row) to the snapshot; false when
// writing failed.
bool addPngBlock(PngStream& png, SnapshotFile& snapshot, const PixelDecoder& decoder, const ImageShape& shape,
                 const ImageBlock& block, const unsigned char* raw);

// Ends the snapshot's data and writes what is left; false when writing failed.
bool finishPng(PngStream& png, SnapshotFile& snapshot);

}  // namespace velloran
