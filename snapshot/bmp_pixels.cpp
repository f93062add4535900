#include "snapshot/bmp_pixels.h"

#include <cstring>

namespace velloran {

namespace {

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

// Where each field of a 16-bit word goes in the BMP's: red, green, blue and,
// for 5-5-5, the other bit to bit 15; 5-6-5 has none (a move of nothing).
void planMoves(BmpPlan& plan, const PixelFormat& format) {
  const bool wide = plan.pixels == BmpPixels::rgb565;
  const unsigned to[] = {wide ? 11u : 10u, 5u, 0u};
  for (const Channel channel : {kRed, kGreen, kBlue}) {
    const FieldBits field = format.fields[channel];
    plan.moves[channel] = BmpPlan::Move{field.shift, (1u << field.bits) - 1, to[channel]};
  }
  plan.moves[3] = wide ? BmpPlan::Move{0, 0, 0} : BmpPlan::Move{otherBitOf(format), 1, 15};
  const auto moves = [&plan](unsigned red, unsigned green, unsigned blue) {
    return plan.moves[kRed].shift == red && plan.moves[kGreen].shift == green &&
           plan.moves[kBlue].shift == blue && plan.moves[3].shift == plan.moves[3].to;
  };
  plan.kind = BmpPlan::Kind::moves;
  if (format.bigEndian) return;
  if (moves(to[kRed], to[kGreen], to[kBlue])) plan.kind = BmpPlan::Kind::copy;
  if (!wide && moves(0, 5, 10)) plan.kind = BmpPlan::Kind::swapRedBlue;
}

// 16-bit words into 16-bit BMP pixels, `swapBytes` for big-endian words.
// Shifts and masks the same for every pixel, no table and no branch: the
// compiler turns the loop into vector code, which keeps a dump at the disk's
// pace. Bytes are read and written one by one, whatever the host's order.
template <bool swapBytes>
void moveFieldsOf(const BmpPlan& plan, const unsigned char* raw, std::size_t count, unsigned char* out) {
  const BmpPlan::Move red = plan.moves[kRed];
  const BmpPlan::Move green = plan.moves[kGreen];
  const BmpPlan::Move blue = plan.moves[kBlue];
  const BmpPlan::Move other = plan.moves[3];
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

void moveFields(const BmpPlan& plan, const PixelFormat& format, const unsigned char* raw, std::size_t count,
                unsigned char* out) {
  if (plan.kind == BmpPlan::Kind::copy) {
    std::memcpy(out, raw, count * 2);
  } else if (plan.kind == BmpPlan::Kind::swapRedBlue) {
    swapRedBlueRow(raw, count, out);
  } else if (format.bigEndian) {
    moveFieldsOf<true>(plan, raw, count, out);
  } else {
    moveFieldsOf<false>(plan, raw, count, out);
  }
}

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

bool bmpNeedsColourTable(const PixelFormat& format) {
  return !isIndexed(format) && format.wordBytes == 2 && bmpBitsPerPixel(bmpPixelsOf(format)) != 16;
}

BmpPlan planBmp(const PixelFormat& format) {
  BmpPlan plan{bmpPixelsOf(format), 0, {}, BmpPlan::Kind::moves};
  plan.fileBits = bmpBitsPerPixel(plan.pixels);
  if (plan.fileBits == 16) planMoves(plan, format);
  return plan;
}

void encodeBmpPixels(const BmpPlan& plan, const PixelDecoder& decoder, const unsigned char* raw, std::size_t count,
                     unsigned char* out) {
  const unsigned bytes = decoder.format.wordBytes;
  const bool bigEndian = decoder.format.bigEndian;
  if (isIndexed(decoder.format)) {
    packIndices(raw, count, plan.fileBits, out);
    return;
  }
  if (plan.fileBits == 16) {
    moveFields(plan, decoder.format, raw, count, out);
    return;
  }
  const PixelFormat& format = decoder.format;
  const unsigned outBytes = plan.fileBits / 8;
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
  // 16-bit words widened: looked up whole where the decoder has the table.
  if (bytes == 2 && !decoder.colourOfWord.empty()) {
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
