#include "pixels/pixel_decoder.h"

#include <algorithm>
#include <cstring>

namespace velloran {

namespace {

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

std::uint32_t colourOf(const PixelDecoder& decoder, std::uint32_t word) {
  const PixelFormat& format = decoder.format;
  return std::uint32_t{decoder.widened[kRed][fieldOf(word, format.fields[kRed])]} << 16 |
         std::uint32_t{decoder.widened[kGreen][fieldOf(word, format.fields[kGreen])]} << 8 |
         decoder.widened[kBlue][fieldOf(word, format.fields[kBlue])];
}

}  // namespace

PixelDecoder makeDecoder(const PixelFormat& format, bool colourTable, const Palette& palette) {
  PixelDecoder decoder{format, 0, {}, false, {}, {}};
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
  if (format.wordBytes == 2 && colourTable) {
    decoder.colourOfWord.resize(1u << 16);
    for (std::uint32_t word = 0; word < (1u << 16); ++word) decoder.colourOfWord[word] = colourOf(decoder, word);
  }
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

}  // namespace velloran
