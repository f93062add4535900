// One encoder per file type behind one interface, chosen once: the dump
// writes each snapshot through it, block by block, without knowing whether
// it is a BMP or a PNG; each encoder decides its own representation.
#pragma once

#include <cstdint>
#include <memory>

#include "snapshot/png_file.h"
#include "snapshot/snapshot_writer.h"

namespace velloran {

// What an encoder keeps for a whole dump, made once.
struct EncoderState {
  SnapshotOrigin origin;                       // where the images come from; the offset is each one's
  PngStream png;                               // PNG: the deflate state and buffers
  std::unique_ptr<unsigned char[]> converted;  // BMP: one block as the file holds it, and the headers
  BmpPlan bmp{};                               // BMP: how its pixels keep the format
};

struct SnapshotEncoder {
  const char* extension;  // of the snapshots' names
  // Whether a file of no pixels is an image of this type: a BMP of only its
  // headers is one, a PNG has none without pixels.
  bool holdsEmptyImage;
  // Whether the decoder needs its 16-bit colour table for this format.
  bool (*needsColourTable)(const PixelFormat& format);
  // Readies what every snapshot of `shape` needs; false when memory is short.
  bool (*start)(EncoderState& state, const PixelDecoder& decoder, const ImageShape& shape);
  // Before each snapshot's file is made, so that nothing is allocated while
  // it is open: the image starting at `offset` in the ROM.
  void (*begin)(EncoderState& state, const PixelDecoder& decoder, const ImageShape& shape, std::uint64_t offset);
  // A block of the image's pixels, in ROM order; `zeros`: wholly past the ROM's end.
  bool (*addBlock)(EncoderState& state, SnapshotFile& snapshot, const PixelDecoder& decoder, const ImageShape& shape,
                   const ImageBlock& block, const unsigned char* pixels, bool zeros);
  // The snapshot finished and closed; false when the system did not take all of it.
  bool (*finish)(EncoderState& state, SnapshotFile& snapshot);
};

const SnapshotEncoder& encoderFor(bool png);

}  // namespace velloran
