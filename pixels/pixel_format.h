// Pixel layouts: a word of 2, 3 or 4 bytes, in either byte order, and the
// bits each field takes in it, bit 0 the least significant:
//
//   le16:x15,b10-14,g5-9,r0-4        bgr555le, the default: the word
//                                    15 14....10 9.....5 4.....0
//                                     x  blue     green   red
//   be16:r11-15,g5-10,b0-4           rgb565be
//   le32:a24-31,b16-23,g8-15,r0-7    rgba: the bytes r, g, b, a in memory
//
// Fields: r, g, b (each once), a (at most once), x (unused; as many as
// wanted); a colour or alpha field has 1 to 8 bits; fields may not overlap
// or leave the word; bits no field names count as unused. Every named
// format is one of these descriptions.
#pragma once

#include <cstdint>
#include <string>

namespace velloran {

struct FieldBits {
  std::uint8_t shift;  // its lowest bit
  std::uint8_t bits;   // 0: the format has no such field
};

enum Channel { kRed, kGreen, kBlue, kAlpha, kChannels };

struct PixelFormat {
  std::string name;         // the name it was given by, or its description
  unsigned wordBytes;       // 2, 3 or 4
  bool bigEndian;           // the word's most significant byte first
  FieldBits fields[kChannels];
};

// The default, today's layout: bgr555le.
const PixelFormat& defaultFormat();

// A format by its name (--list-formats) or by its description. False, with
// the reason (naming the closest known names for an unknown one), when it
// is neither.
bool parseFormat(const std::string& text, PixelFormat& format, std::string& problem);

// One line a format: its name, its bits per pixel and its layout.
std::string formatListText();

// The format's field notation, as --list-formats shows it.
std::string layoutText(const PixelFormat& format);

}  // namespace velloran
