// The screen of the live view: the images from the offset on, left to right
// and top to bottom, drawn as --preview draws them (zoomed in, each image
// pixel a square of cell pixels; zoomed out, each cell pixel the average of
// its block); the status line; the help overlay when it is up.
#pragma once

#include <string>
#include <vector>

#include "browse/view.h"
#include "console/canvas.h"
#include "pixels/image_rows.h"
#include "pixels/pixel_decoder.h"

namespace velloran {

// Reads only the bytes of the images on screen, in pieces of at most 1 MiB;
// past the ROM's end the terminal's own background shows. In sixel or
// kitty, the help overlay shows without images.
Frame drawView(const View& view, const PixelDecoder& decoder, const ByteSource& source, const std::string& romName);

}  // namespace velloran
