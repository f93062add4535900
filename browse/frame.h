// The screen of the live view: the images from the offset on, left to right
// and top to bottom, drawn as --preview draws them (zoomed in, each image
// pixel a square of cell pixels; zoomed out, each cell pixel the average of
// its block); the status line; the help overlay when it is up.
#pragma once

#include <string>
#include <vector>

#include "browse/view.h"
#include "console/graphics.h"
#include "console/screen.h"
#include "pixels/pixel_decoder.h"
#include "platform/platform.h"

namespace velloran {

// An image the terminal draws in pixels (sixel, kitty), with its top-left cell.
struct ShownImage {
  int left;
  int top;
  RgbImage image;       // its pixels on screen, unzoomed
  std::uint32_t zoom;   // each pixel drawn zoom x zoom times
};

// The cells, and in sixel or kitty the images that go over them.
struct Frame {
  Screen screen;
  std::vector<ShownImage> images;
};

// Reads only the bytes of the images on screen, in pieces of at most 1 MiB;
// past the ROM's end the terminal's own background shows. In sixel or
// kitty, the help overlay shows without images.
Frame drawView(const View& view, const PixelDecoder& decoder, const FileHandle& rom, const std::string& romName);

}  // namespace velloran
