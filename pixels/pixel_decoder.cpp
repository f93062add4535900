#include "pixels/pixel_decoder.h"

#include <algorithm>
#include <cstring>

namespace velloran {

namespace {

std::uint32_t wordAt(const unsigned char* at, unsigned bytes, bool bigEndian) {
  std::uint32_t word = 0;
  for (unsigned index = 0; index < bytes; ++index) {
    const unsigned shift = 8 * (bigEndian ? bytes - 1 - index : index);
    word |= std::uint32_t{at[index]} << shift;
  }
  return word;
}

unsigned fieldOf(std::uint32_t word, FieldBits field) {
  return field.bits == 0 ? 0 : (word >> field.shift) & ((1u << field.bits) - 1);
}

// An n-bit value widened to 8 bits by repeating its bits.
std::uint8_t widen(unsigned value, unsigned bits) {
  if (bits == 0) return 0;
  unsigned wide = 0;
  for (int filled = 8; filled > 0; filled -= static_cast<int>(bits)) {
    wide |= filled >= static_cast<int>(bits) ? value << (filled - static_cast<int>(bits))
                                              : value >> (static_cast<int>(bits) - filled);
  }
  return static_cast<std::uint8_t>(wide & 0xFFu);
}

bool isFiveFiveFive(const PixelFormat& format) {
  return format.wordBytes == 2 && format.fields[kRed].bits == 5 && format.fields[kGreen].bits == 5 &&
         format.fields[kBlue].bits == 5 && format.fields[kAlpha].bits <= 1;
}

bool isFiveSixFive(const PixelFormat& format) {
  return format.wordBytes == 2 && format.fields[kRed].bits == 5 && format.fields[kGreen].bits == 6 &&
         format.fields[kBlue].bits == 5;
}

// The one bit of a 5-5-5 word that is not a colour: alpha, or unused.
unsigned otherBitOf(const PixelFormat& format) {
  std::uint32_t colours = 0;
  for (const Channel channel : {kRed, kGreen, kBlue}) {
    colours |= ((1u << format.fields[channel].bits) - 1) << format.fields[channel].shift;
  }
  for (unsigned bit = 0; bit < 16; ++bit) {
    if ((colours & (1u << bit)) == 0) return bit;
  }
  return 15;
}

std::uint32_t colourOf(const PixelDecoder& decoder, std::uint32_t word) {
  const PixelFormat& format = decoder.format;
  return std::uint32_t{decoder.widened[kRed][fieldOf(word, format.fields[kRed])]} << 16 |
         std::uint32_t{decoder.widened[kGreen][fieldOf(word, format.fields[kGreen])]} << 8 |
         decoder.widened[kBlue][fieldOf(word, format.fields[kBlue])];
}

// Where each field of a 16-bit word goes in the BMP's: red, green, blue and,
// for 5-5-5, the other bit to bit 15; 5-6-5 has none (a move of nothing).
void planBmpMoves(PixelDecoder& decoder) {
  const PixelFormat& format = decoder.format;
  const bool wide = decoder.bmp == BmpPixels::rgb565;
  const unsigned to[] = {wide ? 11u : 10u, 5u, 0u};
  for (const Channel channel : {kRed, kGreen, kBlue}) {
    const FieldBits field = format.fields[channel];
    decoder.bmpMoves[channel] = PixelDecoder::Move{field.shift, (1u << field.bits) - 1, to[channel]};
  }
  decoder.bmpMoves[3] = wide ? PixelDecoder::Move{0, 0, 0} : PixelDecoder::Move{otherBitOf(format), 1, 15};
  const auto moves = [&decoder](unsigned red, unsigned green, unsigned blue) {
    return decoder.bmpMoves[kRed].shift == red && decoder.bmpMoves[kGreen].shift == green &&
           decoder.bmpMoves[kBlue].shift == blue && decoder.bmpMoves[3].shift == decoder.bmpMoves[3].to;
  };
  decoder.bmpPlan = PixelDecoder::BmpPlan::moves;
  if (format.bigEndian) return;
  if (moves(to[kRed], to[kGreen], to[kBlue])) decoder.bmpPlan = PixelDecoder::BmpPlan::copy;
  if (!wide && moves(0, 5, 10)) decoder.bmpPlan = PixelDecoder::BmpPlan::swapRedBlue;
}

// 16-bit words into 16-bit BMP pixels, `swapBytes` for big-endian words.
// Shifts and masks the same for every pixel, no table and no branch: the
// compiler turns the loop into vector code, which keeps a dump at the disk's
// pace. Bytes are read and written one by one, whatever the host's order.
template <bool swapBytes>
void moveFieldsOf(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, unsigned char* out) {
  const PixelDecoder::Move red = decoder.bmpMoves[kRed];
  const PixelDecoder::Move green = decoder.bmpMoves[kGreen];
  const PixelDecoder::Move blue = decoder.bmpMoves[kBlue];
  const PixelDecoder::Move other = decoder.bmpMoves[3];
  for (std::size_t index = 0; index < count; ++index) {
    const std::uint16_t low = raw[2 * index + (swapBytes ? 1 : 0)];
    const std::uint16_t high = raw[2 * index + (swapBytes ? 0 : 1)];
    const auto word = static_cast<std::uint16_t>(low | high << 8);
    const auto pixel = static_cast<std::uint16_t>(
        ((word >> red.shift) & red.mask) << red.to | ((word >> green.shift) & green.mask) << green.to |
        ((word >> blue.shift) & blue.mask) << blue.to | ((word >> other.shift) & other.mask) << other.to);
    out[2 * index] = static_cast<unsigned char>(pixel & 0xFFu);
    out[2 * index + 1] = static_cast<unsigned char>(pixel >> 8);
  }
}

// bgr555le: constant masks, which the compiler vectorises best.
void swapRedBlueRow(const unsigned char* raw, std::size_t count, unsigned char* out) {
  for (std::size_t index = 0; index < count * 2; index += 2) {
    const std::uint16_t pixel = swapRedBlue(static_cast<std::uint16_t>(raw[index] | raw[index + 1] << 8));
    out[index] = static_cast<unsigned char>(pixel & 0xFFu);
    out[index + 1] = static_cast<unsigned char>(pixel >> 8);
  }
}

void moveFields(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, unsigned char* out) {
  if (decoder.bmpPlan == PixelDecoder::BmpPlan::copy) {
    std::memcpy(out, raw, count * 2);
  } else if (decoder.bmpPlan == PixelDecoder::BmpPlan::swapRedBlue) {
    swapRedBlueRow(raw, count, out);
  } else if (decoder.format.bigEndian) {
    moveFieldsOf<true>(decoder, raw, count, out);
  } else {
    moveFieldsOf<false>(decoder, raw, count, out);
  }
}

}  // namespace

namespace {

// What each kind of BMP pixel takes: bits in the file, and colour table entries.
struct BmpPixelsKind {
  BmpPixels pixels;
  unsigned bits;
  unsigned paletteEntries;
};

constexpr BmpPixelsKind kBmpPixelsKinds[] = {
    {BmpPixels::rgb555, 16, 0},  {BmpPixels::rgb565, 16, 0},  {BmpPixels::bgr24, 24, 0},
    {BmpPixels::bgra32, 32, 0},  {BmpPixels::indexed1, 1, 2}, {BmpPixels::indexed2, 4, 4},
    {BmpPixels::indexed4, 4, 16}, {BmpPixels::indexed8, 8, 256},
};

const BmpPixelsKind& kindOf(BmpPixels pixels) {
  return kBmpPixelsKinds[static_cast<std::size_t>(pixels)];
}

constexpr bool everyKindInPlace() {
  for (std::size_t index = 0; index < sizeof kBmpPixelsKinds / sizeof kBmpPixelsKinds[0]; ++index) {
    if (static_cast<std::size_t>(kBmpPixelsKinds[index].pixels) != index) return false;
  }
  return true;
}

static_assert(everyKindInPlace(), "kBmpPixelsKinds in BmpPixels' order");

}  // namespace

BmpPixels bmpPixelsOf(const PixelFormat& format) {
  switch (format.indexBits) {
    case 1:
      return BmpPixels::indexed1;
    case 2:
      return BmpPixels::indexed2;  // in a 4-bit file: BMP has no 2-bit pixels
    case 4:
      return BmpPixels::indexed4;
    case 8:
      return BmpPixels::indexed8;
    default:
      break;
  }
  if (isFiveFiveFive(format)) return BmpPixels::rgb555;
  if (isFiveSixFive(format)) return BmpPixels::rgb565;
  return format.fields[kAlpha].bits != 0 ? BmpPixels::bgra32 : BmpPixels::bgr24;
}

unsigned bmpBitsPerPixel(BmpPixels pixels) {
  return kindOf(pixels).bits;
}

unsigned bmpPaletteEntries(BmpPixels pixels) {
  return kindOf(pixels).paletteEntries;
}

PixelDecoder makeDecoder(const PixelFormat& format, bool forPictures, const Palette& palette) {
  PixelDecoder decoder{format, bmpPixelsOf(format), 0, 0, {}, {}, PixelDecoder::BmpPlan::moves, false, {}, {}};
  decoder.fileBits = bmpBitsPerPixel(decoder.bmp);
  if (isIndexed(format)) {
    // Every byte an index may hold has a colour: those past 2^bits never come.
    const Palette& colours = palette.empty() ? greyRamp(format.indexBits) : palette;
    const std::size_t used = std::min<std::size_t>(colours.size(), std::size_t{1} << format.indexBits);
    decoder.colourOfWord.assign(256, 0);
    std::copy(colours.begin(), colours.begin() + static_cast<std::ptrdiff_t>(used), decoder.colourOfWord.begin());
    decoder.pixelBytes = 1;
    return decoder;
  }
  decoder.pixelBytes = format.wordBytes;
  for (int channel = 0; channel < kChannels; ++channel) {
    const unsigned bits = format.fields[channel].bits;
    for (unsigned value = 0; value < 256; ++value) {
      decoder.widened[channel][value] = widen(value & ((1u << bits) - 1), bits);
    }
  }
  // Pictures look 16-bit colours up, and so do files that widen them.
  if (format.wordBytes == 2 && (forPictures || decoder.fileBits != 16)) {
    decoder.colourOfWord.resize(1u << 16);
    for (std::uint32_t word = 0; word < (1u << 16); ++word) decoder.colourOfWord[word] = colourOf(decoder, word);
  }
  if (decoder.fileBits == 16) planBmpMoves(decoder);
  decoder.wholeBytes = true;
  for (int channel = 0; channel < kChannels; ++channel) {
    const FieldBits field = format.fields[channel];
    if (field.bits == 0) continue;
    decoder.wholeBytes = decoder.wholeBytes && field.bits == 8 && field.shift % 8 == 0;
    decoder.byteOf[channel] = format.bigEndian ? format.wordBytes - 1 - field.shift / 8u : field.shift / 8u;
  }
  return decoder;
}

const PixelDecoder& defaultDecoder() {
  static const PixelDecoder decoder = makeDecoder(defaultFormat());
  return decoder;
}

void decodeColours(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, std::uint32_t* colours) {
  const unsigned bytes = decoder.format.wordBytes;
  const bool bigEndian = decoder.format.bigEndian;
  if (isIndexed(decoder.format)) {
    const std::uint32_t* palette = decoder.colourOfWord.data();
    for (std::size_t index = 0; index < count; ++index) colours[index] = palette[raw[index]];
    return;
  }
  if (bytes == 2 && !decoder.colourOfWord.empty()) {
    const std::uint32_t* table = decoder.colourOfWord.data();
    for (std::size_t index = 0; index < count; ++index) colours[index] = table[wordAt(raw + 2 * index, 2, bigEndian)];
    return;
  }
  if (decoder.wholeBytes) {
    const unsigned red = decoder.byteOf[kRed];
    const unsigned green = decoder.byteOf[kGreen];
    const unsigned blue = decoder.byteOf[kBlue];
    for (std::size_t index = 0; index < count; ++index) {
      const unsigned char* from = raw + bytes * index;
      colours[index] = std::uint32_t{from[red]} << 16 | std::uint32_t{from[green]} << 8 | from[blue];
    }
    return;
  }
  for (std::size_t index = 0; index < count; ++index) colours[index] = colourOf(decoder, wordAt(raw + bytes * index, bytes, bigEndian));
}

void decodeRgbBytes(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, bool withAlpha,
                    unsigned char* out) {
  const PixelFormat& format = decoder.format;
  const unsigned bytes = format.wordBytes;
  const unsigned outBytes = withAlpha ? 4 : 3;
  if (isIndexed(format)) {
    for (std::size_t index = 0; index < count; ++index) {
      const std::uint32_t colour = decoder.colourOfWord[raw[index]];
      unsigned char* pixel = out + outBytes * index;
      pixel[0] = static_cast<unsigned char>(colour >> 16);
      pixel[1] = static_cast<unsigned char>((colour >> 8) & 0xFFu);
      pixel[2] = static_cast<unsigned char>(colour & 0xFFu);
      if (withAlpha) pixel[3] = 0xFF;
    }
    return;
  }
  for (std::size_t index = 0; index < count; ++index) {
    const std::uint32_t word = wordAt(raw + bytes * index, bytes, format.bigEndian);
    unsigned char* pixel = out + outBytes * index;
    pixel[0] = decoder.widened[kRed][fieldOf(word, format.fields[kRed])];
    pixel[1] = decoder.widened[kGreen][fieldOf(word, format.fields[kGreen])];
    pixel[2] = decoder.widened[kBlue][fieldOf(word, format.fields[kBlue])];
    if (withAlpha) pixel[3] = decoder.widened[kAlpha][fieldOf(word, format.fields[kAlpha])];
  }
}

void encodeBmpPixels(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, unsigned char* out) {
  const unsigned bytes = decoder.format.wordBytes;
  const bool bigEndian = decoder.format.bigEndian;
  if (isIndexed(decoder.format)) {
    packIndices(raw, count, decoder.fileBits, out);
    return;
  }
  if (decoder.fileBits == 16) {
    moveFields(decoder, raw, count, out);
    return;
  }
  const PixelFormat& format = decoder.format;
  const unsigned outBytes = decoder.fileBits / 8;
  if (decoder.wholeBytes) {
    // Byte copies, for formats whose fields are whole bytes: no word to make.
    const unsigned red = decoder.byteOf[kRed];
    const unsigned green = decoder.byteOf[kGreen];
    const unsigned blue = decoder.byteOf[kBlue];
    if (outBytes == 4) {
      const unsigned alpha = decoder.byteOf[kAlpha];
      for (std::size_t index = 0; index < count; ++index) {
        const unsigned char* from = raw + 4 * index;
        unsigned char* pixel = out + 4 * index;
        pixel[0] = from[blue];
        pixel[1] = from[green];
        pixel[2] = from[red];
        pixel[3] = from[alpha];
      }
      return;
    }
    for (std::size_t index = 0; index < count; ++index) {
      const unsigned char* from = raw + bytes * index;
      unsigned char* pixel = out + 3 * index;
      pixel[0] = from[blue];
      pixel[1] = from[green];
      pixel[2] = from[red];
    }
    return;
  }
  if (bytes == 2) {
    const std::uint32_t* table = decoder.colourOfWord.data();
    for (std::size_t index = 0; index < count; ++index) {
      const std::uint32_t word = wordAt(raw + 2 * index, 2, bigEndian);
      const std::uint32_t colour = table[word];
      unsigned char* pixel = out + outBytes * index;
      pixel[0] = static_cast<unsigned char>(colour & 0xFFu);
      pixel[1] = static_cast<unsigned char>((colour >> 8) & 0xFFu);
      pixel[2] = static_cast<unsigned char>(colour >> 16);
      if (outBytes == 4) pixel[3] = decoder.widened[kAlpha][fieldOf(word, format.fields[kAlpha])];
    }
    return;
  }
  for (std::size_t index = 0; index < count; ++index) {
    const std::uint32_t word = wordAt(raw + bytes * index, bytes, bigEndian);
    unsigned char* pixel = out + outBytes * index;
    pixel[0] = decoder.widened[kBlue][fieldOf(word, format.fields[kBlue])];
    pixel[1] = decoder.widened[kGreen][fieldOf(word, format.fields[kGreen])];
    pixel[2] = decoder.widened[kRed][fieldOf(word, format.fields[kRed])];
    if (outBytes == 4) pixel[3] = decoder.widened[kAlpha][fieldOf(word, format.fields[kAlpha])];
  }
}

}  // namespace velloran
