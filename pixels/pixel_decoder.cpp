#include "pixels/pixel_decoder.h"

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

std::uint16_t bmpWordOf(const PixelDecoder& decoder, std::uint32_t word) {
  const PixelFormat& format = decoder.format;
  const unsigned red = fieldOf(word, format.fields[kRed]);
  const unsigned green = fieldOf(word, format.fields[kGreen]);
  const unsigned blue = fieldOf(word, format.fields[kBlue]);
  if (decoder.bmp == BmpPixels::rgb565) return static_cast<std::uint16_t>(red << 11 | green << 5 | blue);
  const unsigned other = (word >> otherBitOf(format)) & 1u;
  return static_cast<std::uint16_t>(other << 15 | red << 10 | green << 5 | blue);
}

}  // namespace

BmpPixels bmpPixelsOf(const PixelFormat& format) {
  if (isFiveFiveFive(format)) return BmpPixels::rgb555;
  if (isFiveSixFive(format)) return BmpPixels::rgb565;
  return format.fields[kAlpha].bits != 0 ? BmpPixels::bgra32 : BmpPixels::bgr24;
}

unsigned bmpBytesPerPixel(BmpPixels pixels) {
  return pixels == BmpPixels::bgr24 ? 3 : pixels == BmpPixels::bgra32 ? 4 : 2;
}

PixelDecoder makeDecoder(const PixelFormat& format) {
  PixelDecoder decoder{format, bmpPixelsOf(format), 0, {}, {}, {}};
  decoder.fileBytes = bmpBytesPerPixel(decoder.bmp);
  for (int channel = 0; channel < kChannels; ++channel) {
    const unsigned bits = format.fields[channel].bits;
    for (unsigned value = 0; value < 256; ++value) {
      decoder.widened[channel][value] = widen(value & ((1u << bits) - 1), bits);
    }
  }
  if (format.wordBytes == 2) {
    decoder.colourOfWord.resize(1u << 16);
    decoder.bmpOfWord.resize(1u << 16);
    for (std::uint32_t word = 0; word < (1u << 16); ++word) {
      decoder.colourOfWord[word] = colourOf(decoder, word);
      decoder.bmpOfWord[word] = bmpWordOf(decoder, word);
    }
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
  if (bytes == 2) {
    const std::uint32_t* table = decoder.colourOfWord.data();
    for (std::size_t index = 0; index < count; ++index) colours[index] = table[wordAt(raw + 2 * index, 2, bigEndian)];
    return;
  }
  for (std::size_t index = 0; index < count; ++index) colours[index] = colourOf(decoder, wordAt(raw + bytes * index, bytes, bigEndian));
}

void encodeBmpPixels(const PixelDecoder& decoder, const unsigned char* raw, std::size_t count, unsigned char* out) {
  const unsigned bytes = decoder.format.wordBytes;
  const bool bigEndian = decoder.format.bigEndian;
  if (decoder.fileBytes == 2) {
    const std::uint16_t* table = decoder.bmpOfWord.data();
    for (std::size_t index = 0; index < count; ++index) {
      const std::uint16_t pixel = table[wordAt(raw + 2 * index, 2, bigEndian)];
      out[2 * index] = static_cast<unsigned char>(pixel & 0xFFu);
      out[2 * index + 1] = static_cast<unsigned char>(pixel >> 8);
    }
    return;
  }
  const PixelFormat& format = decoder.format;
  const unsigned outBytes = decoder.fileBytes;
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
