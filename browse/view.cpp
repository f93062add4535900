#include "browse/view.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "browse/view_parts.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {

using namespace view_parts;

namespace {

// Cells (or pixels) for `value` in steps of `divisor`, rounded up, within
// what the screen's ints hold.
int cellsFor(std::int64_t value, std::int64_t divisor) {
  return static_cast<int>(std::min<std::int64_t>((value + divisor - 1) / divisor, 1 << 30));
}

}  // namespace

Layout layoutOf(const View& view) {
  Layout layout{};
  if (view.zoom >= 1) {
    layout.imagePixelColumns = static_cast<int>(std::min<std::int64_t>(std::int64_t{view.width} * view.zoom, 1 << 30));
    layout.imagePixelRows = static_cast<int>(std::min<std::int64_t>(std::int64_t{view.height} * view.zoom, 1 << 30));
  } else {
    layout.imagePixelColumns = cellsFor(view.width, -view.zoom);
    layout.imagePixelRows = cellsFor(view.height, -view.zoom);
  }
  layout.imageColumns = cellsFor(layout.imagePixelColumns, std::max(1, view.cellWidth));
  layout.imageRows = cellsFor(layout.imagePixelRows, std::max(1, view.cellHeight));
  const int area = std::max(1, view.rows - statusRows(view));
  layout.across = std::max(1, (view.columns + 1) / (layout.imageColumns + 1));
  layout.down = std::max(1, (area + 1) / (layout.imageRows + 1));
  return layout;
}

// On its own the view shows small images many to a screen, not a few large.
constexpr int kLargestFittingZoom = 2;

int fittingZoom(const View& view) {
  const std::int32_t width = view.width;
  const std::int32_t height = view.height;
  const std::int64_t across = std::int64_t{std::max(1, view.columns)} * std::max(1, view.cellWidth);
  const std::int64_t pixelRows = std::int64_t{std::max(1, view.rows - statusRows(view))} * std::max(1, view.cellHeight);
  if (width <= across && height <= pixelRows) {
    return static_cast<int>(std::min<std::int64_t>({across / std::max(1, width), pixelRows / std::max(1, height),
                                                     std::int64_t{largestZoomIn(view)}, kLargestFittingZoom}));
  }
  const int out = std::max(cellsFor(width, across), cellsFor(height, pixelRows));
  return -std::max(2, out);
}

View startView(std::uint64_t romLength, std::uint64_t offset, std::int32_t width, std::int32_t height,
               std::int32_t imageCount, int columns, int rows, GraphicsMode graphics, int cellWidth, int cellHeight,
               const PixelFormat& format, const PaletteChoice& palette) {
  View view{romLength, offset,    width,     height,     imageCount, 1,  columns, rows,
            graphics,  cellWidth, cellHeight, {},        Typing::nothing, {}, false, format, false, palette};
  zoomToFit(view);
  return view;
}

int statusRows(const View& view) {
  return isIndexed(view.format) ? 2 : 1;
}

std::uint64_t imageBytes(const View& view) {
  return romBytesOf(view.format, static_cast<std::uint32_t>(view.width), static_cast<std::uint32_t>(view.height));
}

std::uint64_t shownBytes(const View& view) {
  const Layout layout = layoutOf(view);
  return imageBytes(view) * static_cast<std::uint64_t>(layout.across) * static_cast<std::uint64_t>(layout.down);
}

std::string statusText(const View& view, const std::string& romName) {
  if (view.typing != Typing::nothing) {
    const Text prompt = view.typing == Typing::offset    ? Text::offsetPrompt
                        : view.typing == Typing::zoom    ? Text::zoomPrompt
                        : view.typing == Typing::width   ? Text::viewWidthPrompt
                        : view.typing == Typing::format  ? Text::formatPrompt
                        : view.typing == Typing::palette ? Text::palettePrompt
                                                         : Text::viewHeightPrompt;
    return textOf(prompt) + view.typed + "_";
  }
  if (!view.message.empty()) return view.message;
  if (view.pointing) {
    const PointedPixel pixel = pixelAt(view, view.pointColumn, view.pointRow);
    if (pixel.valid) {
      char text[160];
      std::snprintf(text, sizeof text, "0x%08" PRIX64 " (%" PRIu64 ")  image %" PRIu64 "  x %u, y %u%s", pixel.offset,
                    pixel.offset, pixel.image, pixel.x, pixel.y,
                    pixel.offset >= view.romLength ? "  past the ROM's end" : "");
      return std::string(text) + (view.cursor ? "  Enter: view from its image, Tab: from here, x: no cursor"
                                              : "  double click: view from its image, right click: from here");
    }
  }
  char offset[64];
  std::snprintf(offset, sizeof offset, "0x%08" PRIX64 " (%" PRIu64 ")", view.offset, view.offset);
  std::string text = romName + "  " + (view.inStream ? view.streamName + "  " : "") + offset + "  of " +
                     std::to_string(view.romLength);
  text += " bytes  " + std::to_string(view.width) + "x" + std::to_string(view.height) + " " + view.format.name +
          "  zoom ";
  text += view.zoom >= 1 ? std::to_string(view.zoom) + ":1" : "1:" + std::to_string(-view.zoom);
  // Which part of an image larger than the screen is shown.
  const auto width = static_cast<std::uint32_t>(view.width);
  const auto height = static_cast<std::uint32_t>(view.height);
  if (shownPixelsAcross(view) < width) {
    text += "  x " + std::to_string(view.panX) + "-" + std::to_string(view.panX + shownPixelsAcross(view) - 1) +
            " of " + std::to_string(width);
  }
  if (shownPixelsDown(view) < height) {
    text += "  y " + std::to_string(view.panY) + "-" + std::to_string(view.panY + shownPixelsDown(view) - 1) +
            " of " + std::to_string(height);
  }
  if (isIndexed(view.format)) text += "  " + paletteStatus(view.palette);
  if (isIndexed(view.format) && !view.paletteRank.empty()) text += ", " + view.paletteRank;
  return text + (view.png ? "  PNG" : "  BMP") + "  ? help";
}

std::string paletteStatus(const PaletteChoice& palette) {
  if (palette.from == PaletteFrom::greyRamp) return "palette grey";
  std::string text = "palette ";
  if (palette.from == PaletteFrom::rom) {
    text += offsetText(palette.offset);
  } else {
    text += printableText(fileNameOf(palette.source));
  }
  return text + " bank " + std::to_string(palette.bank);
}

std::uint32_t paletteIndexAt(const View& view, int column) {
  const auto colours = std::uint64_t{1} << view.format.indexBits;
  const auto columns = static_cast<std::uint64_t>(std::max(1, view.columns));
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::max(0, column)) * colours / columns);
}

}  // namespace velloran
