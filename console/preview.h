// --preview: each written snapshot drawn under its Opening line, as its rows
// arrive, in the room the terminal has.
#pragma once

#include <cstdint>

#include "console/console_picture.h"

namespace velloran {

// The widest picture --preview=COLUMNS may ask for.
constexpr std::uint32_t kMaxPreviewColumns = 1000;

struct Preview {
  bool on;
  PictureBounds bounds;
};

// The room for pictures: `columnsAsked` (0 for the terminal's width) and the
// terminal's height, or 80 x 24 off a terminal. Nothing is asked of the
// terminal unless pictures are `asked` for; a console that cannot show them
// is told on standard error, once, and gets none.
Preview startPreview(bool asked, std::uint32_t columnsAsked);

}  // namespace velloran
