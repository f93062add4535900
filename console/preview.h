// --preview: each written snapshot drawn under its Opening line, as its rows
// arrive, in the room the terminal has: in half blocks, or in real pixels
// where the terminal draws them (sixel, kitty).
#pragma once

#include <cstdint>
#include <string>

#include "console/console_picture.h"
#include "console/terminal_graphics.h"

namespace velloran {

// The widest picture --preview=COLUMNS may ask for.
constexpr std::uint32_t kMaxPreviewColumns = kLargestRoomColumns;

// A small image drawn in pixels is zoomed in by a whole factor, at most this.
constexpr std::uint32_t kLargestPreviewZoom = 4;

struct Preview {
  bool on;
  PictureBounds bounds;       // in character cells
  TerminalGraphics graphics;  // how pictures are drawn, and the cells' size in pixels
};

// The room for pictures: `columnsAsked` (0 for the terminal's width) and the
// terminal's height, or 80 x 24 off a terminal. Nothing is asked of the
// terminal unless pictures are `asked` for; a terminal that cannot show them
// is told on standard error, once, and gets none.
Preview startPreview(bool asked, std::uint32_t columnsAsked, GraphicsChoice graphics);

// A picture of a `width` x `height` image, to be given its rows.
PictureBuilder startPreviewPicture(const Preview& preview, const PixelDecoder& decoder, std::uint32_t width,
                                   std::uint32_t height);

// The picture's text, once every row was added: half-block lines, or one
// line break and the image in the terminal's protocol.
std::string previewPictureText(const Preview& preview, PictureBuilder& picture);

}  // namespace velloran
