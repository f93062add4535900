// The view's pointing: the pixel in a cell, the mouse and the keyboard
// cursor that point at one and pick it, and the pan of an image larger
// than the screen.
#include <algorithm>

#include "browse/view.h"
#include "browse/view_parts.h"
#include "texts/texts.h"

namespace velloran {

using namespace view_parts;

namespace {

// The screen's pixels across and down for the images.
std::int64_t screenPixelsAcross(const View& view) {
  return std::int64_t{std::max(1, view.columns)} * std::max(1, view.cellWidth);
}

std::int64_t screenPixelsDown(const View& view) {
  return std::int64_t{std::max(1, view.rows - statusRows(view))} * std::max(1, view.cellHeight);
}

// The image pixels that fit in `screen` cell pixels at the view's zoom.
std::uint64_t pixelsThatFit(const View& view, std::int64_t screen) {
  if (view.zoom >= 1) return static_cast<std::uint64_t>(std::max<std::int64_t>(1, screen / view.zoom));
  return static_cast<std::uint64_t>(screen) * static_cast<std::uint64_t>(-view.zoom);
}

std::uint32_t largestPan(std::uint32_t size, std::uint64_t fit) {
  return size > fit ? static_cast<std::uint32_t>(size - fit) : 0;
}

// Where a pixel's bytes start: a tile's, in tiled formats.
std::uint64_t pixelOffsetIn(const View& view, std::uint32_t x, std::uint32_t y) {
  return pixelOffset(view.format, static_cast<std::uint32_t>(view.width), x, y);
}

// Starts the view at the pointed pixel's image, or at the pixel itself.
void pickPointed(View& view, bool pixelItself) {
  const PointedPixel pixel = pixelAt(view, view.pointColumn, view.pointRow);
  if (!view.pointing || !pixel.valid) return;
  const std::uint64_t target = pixelItself ? pixel.offset : pixel.imageStart;
  if (target >= view.romLength) {
    view.message = textOf(Text::pastTheEnd);
    return;
  }
  view.offset = target;
  view.panX = 0;
  view.panY = 0;
}

// The wheel moves by as many image rows as a text line shows.
void scrollByWheel(View& view, bool down) {
  const std::uint64_t rows = view.zoom >= 1 ? std::max(1, view.cellHeight / view.zoom)
                                            : static_cast<std::uint64_t>(view.cellHeight) * static_cast<std::uint64_t>(-view.zoom);
  for (std::uint64_t row = 0; row < rows; row += stripRows(view.format)) {
    if (down) {
      nextRow(view);
    } else {
      previousRow(view);
    }
  }
}

}  // namespace

namespace view_parts {

// A pan within what the image leaves to see.
void clampPan(View& view) {
  view.panX = std::min(view.panX, largestPan(static_cast<std::uint32_t>(view.width), pixelsThatFit(view, screenPixelsAcross(view))));
  view.panY = std::min(view.panY, largestPan(static_cast<std::uint32_t>(view.height), pixelsThatFit(view, screenPixelsDown(view))));
}

// A pan moves a quarter of what is shown.
void panBy(View& view, int across, int down) {
  const auto stepX = static_cast<std::int64_t>(std::max<std::uint64_t>(1, pixelsThatFit(view, screenPixelsAcross(view)) / 4));
  const auto stepY = static_cast<std::int64_t>(std::max<std::uint64_t>(1, pixelsThatFit(view, screenPixelsDown(view)) / 4));
  const std::int64_t x = std::max<std::int64_t>(0, std::int64_t{view.panX} + across * stepX);
  const std::int64_t y = std::max<std::int64_t>(0, std::int64_t{view.panY} + down * stepY);
  view.panX = static_cast<std::uint32_t>(std::min<std::int64_t>(x, view.width));
  view.panY = static_cast<std::uint32_t>(std::min<std::int64_t>(y, view.height));
  clampPan(view);
}

Action applyMouse(View& view, const KeyPress& press) {
  const MouseReport& mouse = press.mouse;
  if (mouse.action == MouseAction::wheelUp || mouse.action == MouseAction::wheelDown) {
    const bool down = mouse.action == MouseAction::wheelDown;
    if (press.shifted) {
      panBy(view, down ? 1 : -1, 0);
    } else {
      scrollByWheel(view, down);
    }
    return Action::none;
  }
  view.pointColumn = mouse.column;
  view.pointRow = mouse.row;
  view.pointing = pixelAt(view, mouse.column, mouse.row).valid;
  if (mouse.action != MouseAction::press) return Action::none;
  // The palette's strip, above the status line: the colour under the click.
  if (isIndexed(view.format) && mouse.row == view.rows - 2 && mouse.button == 0) return Action::pointPalette;
  if (mouse.button == 2) {
    pickPointed(view, true);
    return Action::none;
  }
  if (mouse.button != 0) return Action::none;
  const bool again = mouse.column == view.lastClickColumn && mouse.row == view.lastClickRow &&
                     press.milliseconds - view.lastClick <= kDoubleClickMilliseconds;
  view.lastClick = press.milliseconds;
  view.lastClickColumn = again ? -1 : mouse.column;
  view.lastClickRow = again ? -1 : mouse.row;
  if (again) pickPointed(view, false);
  return Action::none;
}

// With the keyboard cursor on, the arrows and hjkl move it a cell, Enter
// and Tab pick as a double and a right click do, Esc and x put it away.
namespace {

void moveCursor(View& view, int across, int down) {
  view.pointColumn = std::max(0, std::min(view.columns - 1, view.pointColumn + across));
  view.pointRow = std::max(0, std::min(view.rows - statusRows(view) - 1, view.pointRow + down));
  view.pointing = true;
}

}  // namespace

void cursorRight(View& view) { moveCursor(view, 1, 0); }

void cursorLeft(View& view) { moveCursor(view, -1, 0); }

void cursorDown(View& view) { moveCursor(view, 0, 1); }

void cursorUp(View& view) { moveCursor(view, 0, -1); }

void pickImage(View& view) { pickPointed(view, false); }

void pickPixel(View& view) { pickPointed(view, true); }

void hideCursor(View& view) {
  view.cursor = false;
  view.pointing = false;
}

void panRight(View& view) { panBy(view, 1, 0); }

void panLeft(View& view) { panBy(view, -1, 0); }

void panDown(View& view) { panBy(view, 0, 1); }

void panUp(View& view) { panBy(view, 0, -1); }

void showCursor(View& view) {
  view.cursor = true;
  if (!view.pointing) {
    view.pointColumn = 0;
    view.pointRow = 0;
  }
  view.pointing = true;
}

}  // namespace view_parts

PointedPixel pixelAt(const View& view, int column, int row) {
  const PointedPixel none{false, 0, 0, 0, 0, 0};
  const Layout layout = layoutOf(view);
  if (column < 0 || row < 0 || column >= view.columns || row >= view.rows - statusRows(view)) return none;
  const int across = column / (layout.imageColumns + 1);
  const int down = row / (layout.imageRows + 1);
  const int inColumn = column % (layout.imageColumns + 1);
  const int inRow = row % (layout.imageRows + 1);
  if (across >= layout.across || down >= layout.down || inColumn >= layout.imageColumns || inRow >= layout.imageRows) {
    return none;
  }
  std::uint64_t x = static_cast<std::uint64_t>(inColumn) * static_cast<std::uint64_t>(std::max(1, view.cellWidth));
  std::uint64_t y = static_cast<std::uint64_t>(inRow) * static_cast<std::uint64_t>(std::max(1, view.cellHeight));
  if (view.zoom >= 1) {
    x /= static_cast<std::uint64_t>(view.zoom);
    y /= static_cast<std::uint64_t>(view.zoom);
  } else {
    x *= static_cast<std::uint64_t>(-view.zoom);
    y *= static_cast<std::uint64_t>(-view.zoom);
  }
  x += view.panX;
  y += view.panY;
  if (x >= static_cast<std::uint32_t>(view.width) || y >= static_cast<std::uint32_t>(view.height)) return none;
  const std::uint64_t image = static_cast<std::uint64_t>(down) * static_cast<std::uint64_t>(layout.across) +
                              static_cast<std::uint64_t>(across);
  const std::uint64_t imageStart = view.offset + image * imageBytes(view);
  return PointedPixel{true, image, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), imageStart,
                      imageStart + pixelOffsetIn(view, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y))};
}

void keepPanInside(View& view) {
  clampPan(view);
}

std::uint32_t shownPixelsAcross(const View& view) {
  const auto width = static_cast<std::uint32_t>(view.width);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(width - std::min(view.panX, width),
                                                            pixelsThatFit(view, screenPixelsAcross(view))));
}

std::uint32_t shownPixelsDown(const View& view) {
  const auto height = static_cast<std::uint32_t>(view.height);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(height - std::min(view.panY, height),
                                                            pixelsThatFit(view, screenPixelsDown(view))));
}

}  // namespace velloran
