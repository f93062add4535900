#include "snapshot/snapshot_encoder.h"

#include <new>

namespace velloran {

namespace {

bool startBmp(EncoderState& state, const PixelDecoder& decoder, const ImageShape& shape) {
  state.bmp = planBmp(decoder.format);
  state.converted.reset(new (std::nothrow) unsigned char[blockBufferBytes(shape)]);
  return state.converted != nullptr;
}

void beginBmp(EncoderState&, const PixelDecoder&, const ImageShape&, std::uint64_t) {}

bool addBmpBlock(EncoderState& state, SnapshotFile& snapshot, const PixelDecoder& decoder, const ImageShape& shape,
                 const ImageBlock& block, const unsigned char* pixels, bool zeros) {
  return writeSnapshotBlock(snapshot, state.bmp, decoder, shape, block, pixels, zeros, state.converted.get());
}

bool finishBmp(EncoderState&, SnapshotFile& snapshot) {
  return finishSnapshotFile(snapshot);
}

bool startPng(EncoderState& state, const PixelDecoder&, const ImageShape&) {
  return startPngStream(state.png);
}

void beginPngSnapshot(EncoderState& state, const PixelDecoder& decoder, const ImageShape& shape, std::uint64_t offset) {
  state.origin.offset = offset;
  beginPng(state.png, decoder, shape, state.origin);
}

// Rows past the ROM's end are zeros in a PNG too: deflated like any other.
bool addPngBlockOf(EncoderState& state, SnapshotFile& snapshot, const PixelDecoder& decoder, const ImageShape& shape,
                   const ImageBlock& block, const unsigned char* pixels, bool) {
  return addPngBlock(state.png, snapshot, decoder, shape, block, pixels);
}

bool finishPngSnapshot(EncoderState& state, SnapshotFile& snapshot) {
  return finishPng(state.png, snapshot) && finishSnapshotFile(snapshot);
}

// PNG rows are RGB bytes, made from the fields: no table.
bool noColourTable(const PixelFormat&) {
  return false;
}

constexpr SnapshotEncoder kBmpEncoder{kBmpExtension, true, bmpNeedsColourTable, startBmp, beginBmp, addBmpBlock, finishBmp};
constexpr SnapshotEncoder kPngEncoder{kPngExtension, false, noColourTable, startPng, beginPngSnapshot, addPngBlockOf,
                                      finishPngSnapshot};

}  // namespace

const SnapshotEncoder& encoderFor(bool png) {
  return png ? kPngEncoder : kBmpEncoder;
}

}  // namespace velloran
