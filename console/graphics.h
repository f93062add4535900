// Pictures in real pixels, for terminals that draw them: the kitty graphics
// protocol and DEC sixel. Half blocks (console_picture.h, screen.h) remain
// for the others.
//
// kitty:  ESC _G f=24,s=W,v=H,a=T,q=2[,i=ID],m=1 ; base64 of RGB  ST
//         ESC _G m=1 ; more base64  ST       ... chunks of at most 4096 bytes
//         ESC _G m=0 ; the last chunk  ST    (ST, the string end, is ESC and "\")
//         (q=2: the terminal sends no reply that could reach the keys)
// sixel:  ESC P 0;1;0 q  " 1;1;W;H  #n;2;R;G;B (percent) ...  bands of six
//         pixel rows: #n and one character per column for each colour used,
//         runs as !count, $ back to the band's start, - to the next band
//         ST   (P2 = 1: pixels no colour is drawn in keep the background)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velloran {

enum class GraphicsMode { blocks, sixel, kitty };

// Colours as 0xRRGGBB, top row first; kNoColour (screen.h) where there is
// nothing to draw (past the ROM's end).
struct RgbImage {
  std::uint32_t width;
  std::uint32_t height;
  std::vector<std::uint32_t> pixels;
};

// The image in the kitty protocol, each pixel repeated `zoom` x `zoom`
// times. With an `id` (not 0) it replaces the image of that id; pixels with
// nothing to draw are black.
std::string kittyText(const RgbImage& image, std::uint32_t zoom, std::uint32_t id);

// Deletes the image of `id` and frees its data in the terminal.
std::string kittyDelete(std::uint32_t id);

// Deletes every kitty image on the screen.
std::string kittyDeleteAll();

// How a sixel picture's colours were chosen: at most 256 registers; an image
// of no more colours is exact; one with more gets a palette of its own
// (console/median_cut.h), and `largestError` and `meanError` say how far its
// pixels' channels moved, at most and on average, in levels of 255.
struct SixelColours {
  std::size_t inImage;
  bool exact;
  unsigned largestError;
  double meanError;
};

// The image in sixel, each pixel repeated `zoom` x `zoom` times.
std::string sixelText(const RgbImage& image, std::uint32_t zoom, SixelColours* colours = nullptr);

}  // namespace velloran
