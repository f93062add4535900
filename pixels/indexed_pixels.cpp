// Indexed pixels: the ROM's packings unpacked to an index byte a pixel, and
// indices packed again as BMP and PNG rows keep them. Each packing is one
// loop with nothing decided per pixel.
#include <cstring>

#include "pixels/pixel_decoder.h"

namespace velloran {

namespace {

// One byte's 8 / Bits pixels, leftmost first.
template <unsigned Bits, bool LowFirst>
void expandByte(unsigned byte, unsigned char* out) {
  constexpr unsigned kPerByte = 8 / Bits;
  constexpr unsigned kMask = (1u << Bits) - 1;
  for (unsigned index = 0; index < kPerByte; ++index) {
    const unsigned shift = LowFirst ? index * Bits : 8 - Bits - index * Bits;
    out[index] = static_cast<unsigned char>((byte >> shift) & kMask);
  }
}

// `width` pixels from the start of `raw`.
template <unsigned Bits, bool LowFirst>
void expandRow(const unsigned char* raw, std::uint32_t width, unsigned char* out) {
  constexpr unsigned kPerByte = 8 / Bits;
  if (Bits == 8) {
    std::memcpy(out, raw, width);
    return;
  }
  const std::uint32_t whole = width / kPerByte;
  for (std::uint32_t byte = 0; byte < whole; ++byte) expandByte<Bits, LowFirst>(raw[byte], out + std::size_t{byte} * kPerByte);
  const unsigned rest = width % kPerByte;
  if (rest != 0) {
    unsigned char last[8];
    expandByte<Bits, LowFirst>(raw[whole], last);
    std::memcpy(out + std::size_t{whole} * kPerByte, last, rest);
  }
}

template <unsigned Bits, bool LowFirst>
void unpackLinear(const unsigned char* raw, std::uint32_t width, std::uint32_t rows, unsigned char* indices) {
  const std::size_t rowBytes = (std::size_t{width} * Bits + 7) / 8;
  for (std::uint32_t row = 0; row < rows; ++row) {
    expandRow<Bits, LowFirst>(raw + rowBytes * row, width, indices + std::size_t{width} * row);
  }
}

// Tiles of linear rows: each of a tile's rows is Bits bytes.
template <unsigned Bits, bool LowFirst>
void unpackTiles(const unsigned char* raw, std::uint32_t width, std::uint32_t rows, unsigned char* indices) {
  const std::uint32_t across = width / 8;
  for (std::uint32_t tileRow = 0; tileRow < rows / 8; ++tileRow) {
    for (std::uint32_t tile = 0; tile < across; ++tile) {
      const unsigned char* from = raw + (std::size_t{tileRow} * across + tile) * 8 * Bits;
      unsigned char* to = indices + std::size_t{tileRow} * 8 * width + std::size_t{tile} * 8;
      for (unsigned row = 0; row < 8; ++row) expandRow<Bits, LowFirst>(from + row * Bits, 8, to + std::size_t{row} * width);
    }
  }
}

// Each bit of a byte spread to a byte of its own, bit 7 (the leftmost pixel)
// to the lowest byte: a tile row's indices are the planes' spreads, each
// shifted to its bit, added up eight pixels at a time.
struct BitSpread {
  std::uint64_t of[256];
};

constexpr BitSpread makeBitSpread() {
  BitSpread spread{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    std::uint64_t wide = 0;
    for (unsigned pixel = 0; pixel < 8; ++pixel) wide |= std::uint64_t{(byte >> (7 - pixel)) & 1u} << (8 * pixel);
    spread.of[byte] = wide;
  }
  return spread;
}

constexpr BitSpread kBitSpread = makeBitSpread();

// Eight index bytes, the lowest first, in one store.
inline void storeEightPixels(std::uint64_t pixels, unsigned char* out) {
  unsigned char bytes[8];
  for (unsigned pixel = 0; pixel < 8; ++pixel) bytes[pixel] = static_cast<unsigned char>(pixels >> (8 * pixel));
  std::memcpy(out, bytes, 8);
}

template <unsigned Bits>
void unpackPlanarTiles(const PixelFormat& format, const unsigned char* raw, std::uint32_t width, std::uint32_t rows,
                       unsigned char* indices) {
  const std::uint32_t across = width / 8;
  // Copied out of `format`: the index bytes written below could alias it,
  // which would make the compiler read it again after every store.
  const unsigned stride = format.planeRowStride;
  unsigned planeOffset[Bits];
  for (unsigned plane = 0; plane < Bits; ++plane) planeOffset[plane] = format.planeOffset[plane];
  for (std::uint32_t tileRow = 0; tileRow < rows / 8; ++tileRow) {
    for (std::uint32_t tile = 0; tile < across; ++tile) {
      const unsigned char* from = raw + (std::size_t{tileRow} * across + tile) * 8 * Bits;
      unsigned char* to = indices + std::size_t{tileRow} * 8 * width + std::size_t{tile} * 8;
      for (unsigned row = 0; row < 8; ++row) {
        std::uint64_t pixels = 0;
        for (unsigned plane = 0; plane < Bits; ++plane) {
          pixels |= kBitSpread.of[from[planeOffset[plane] + row * stride]] << plane;
        }
        storeEightPixels(pixels, to + std::size_t{row} * width);
      }
    }
  }
}

template <unsigned Bits>
void unpackAs(const PixelFormat& format, const unsigned char* raw, std::uint32_t width, std::uint32_t rows,
              unsigned char* indices) {
  switch (format.packing) {
    case IndexPacking::linear:
      return unpackLinear<Bits, false>(raw, width, rows, indices);
    case IndexPacking::linearReversed:
      return unpackLinear<Bits, true>(raw, width, rows, indices);
    case IndexPacking::tiles:
      return unpackTiles<Bits, false>(raw, width, rows, indices);
    case IndexPacking::tilesReversed:
      return unpackTiles<Bits, true>(raw, width, rows, indices);
    case IndexPacking::planarTiles:
      return unpackPlanarTiles<Bits>(format, raw, width, rows, indices);
  }
}

template <unsigned Bits>
void packAs(const unsigned char* indices, std::size_t count, unsigned char* out) {
  constexpr unsigned kPerByte = 8 / Bits;
  const std::size_t whole = count / kPerByte;
  for (std::size_t byte = 0; byte < whole; ++byte) {
    unsigned packed = 0;
    for (unsigned index = 0; index < kPerByte; ++index) packed = packed << Bits | indices[byte * kPerByte + index];
    out[byte] = static_cast<unsigned char>(packed);
  }
  const std::size_t rest = count % kPerByte;
  if (rest != 0) {
    unsigned packed = 0;
    for (std::size_t index = 0; index < kPerByte; ++index) {
      packed = packed << Bits | (index < rest ? indices[whole * kPerByte + index] : 0u);
    }
    out[whole] = static_cast<unsigned char>(packed);
  }
}

}  // namespace

void unpackIndices(const PixelFormat& format, const unsigned char* raw, std::uint32_t width, std::uint32_t rows,
                   unsigned char* indices) {
  switch (format.indexBits) {
    case 1:
      return unpackAs<1>(format, raw, width, rows, indices);
    case 2:
      return unpackAs<2>(format, raw, width, rows, indices);
    case 4:
      return unpackAs<4>(format, raw, width, rows, indices);
    default:
      return unpackAs<8>(format, raw, width, rows, indices);
  }
}

void packIndices(const unsigned char* indices, std::size_t count, unsigned bits, unsigned char* out) {
  switch (bits) {
    case 1:
      return packAs<1>(indices, count, out);
    case 2:
      return packAs<2>(indices, count, out);
    case 4:
      return packAs<4>(indices, count, out);
    default:
      std::memcpy(out, indices, count);
  }
}

Palette greyRamp(unsigned indexBits) {
  const std::uint32_t count = 1u << indexBits;
  Palette ramp(count);
  for (std::uint32_t index = 0; index < count; ++index) {
    const std::uint32_t level = count == 1 ? 0 : index * 255 / (count - 1);
    ramp[index] = level << 16 | level << 8 | level;
  }
  return ramp;
}

}  // namespace velloran
