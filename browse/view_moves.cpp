// What the view's keys do to it: moves through the ROM, sizes, zooms, the
// format and the palette. Pure, as all of the view is.
#include <algorithm>

#include "browse/view.h"
#include "browse/view_parts.h"
#include "console/canvas.h"
#include "snapshot/image_size.h"
#include "texts/texts.h"

namespace velloran {

using namespace view_parts;

namespace {

constexpr int kLargestZoomIn = 64;

// A pixel's step: its word, a byte of linear indices, or a whole tile.
std::uint64_t pixelBytes(const View& view) {
  return pixelStepBytes(view.format);
}

// The last offset within the ROM at `phase` bytes into a pixel (offset
// modulo the pixel's bytes): data that starts at an odd offset stays there.
std::uint64_t lastOffsetLike(const View& view, std::uint64_t phase) {
  if (view.romLength == 0) return 0;
  const std::uint64_t last = view.romLength - 1;
  const std::uint64_t back = (last % pixelBytes(view) + pixelBytes(view) - phase) % pixelBytes(view);
  return last >= back ? last - back : 0;
}

// The phase `bytes` on from the offset, or back.
std::uint64_t phaseOn(const View& view, std::uint64_t bytes) {
  return (view.offset % pixelBytes(view) + bytes % pixelBytes(view)) % pixelBytes(view);
}

std::uint64_t phaseBack(const View& view, std::uint64_t bytes) {
  return (view.offset % pixelBytes(view) + pixelBytes(view) - bytes % pixelBytes(view)) % pixelBytes(view);
}

// Moves the offset `bytes` on; a move past the end stops there, at the phase
// the move would have made. Unsigned throughout: no sum overflows.
void moveForward(View& view, std::uint64_t bytes) {
  const std::uint64_t last = lastOffsetLike(view, phaseOn(view, bytes));
  const bool pastLast = view.offset > last || bytes > last - view.offset;
  view.offset = pastLast ? last : view.offset + bytes;
}

// Moves the offset `bytes` back; a move before the start stops there, at the
// phase the move would have made, and never goes forward.
void moveBack(View& view, std::uint64_t bytes) {
  const std::uint64_t phase = phaseBack(view, bytes);
  if (bytes > view.offset) {
    view.offset = std::min<std::uint64_t>(view.offset, phase < view.romLength ? phase : 0);
    return;
  }
  view.offset = std::min(view.offset - bytes, lastOffsetLike(view, phase));
}

// An image row, or a row of tiles.
std::uint64_t rowBytes(const View& view) {
  return romBytesOf(view.format, static_cast<std::uint32_t>(view.width), stripRows(view.format));
}

// Down to whole tiles, at least one.
std::int32_t wholeTiles(std::int32_t size) {
  constexpr auto kSide = static_cast<std::int32_t>(kTileSide);
  return std::max(kSide, size - size % kSide);
}

}  // namespace

const char* const kFormatRing[] = {"bgr555le", "bgr555be", "rgb565le", "rgba5551be", "rgba", "i1", "i4",
                                   "i8",       "t1",       "t2p",      "t4p",        "t4",   "t4r", "t8"};

const int kFormatRingLength = static_cast<int>(sizeof kFormatRing / sizeof kFormatRing[0]);

namespace view_parts {

void nextPixel(View& view) { moveForward(view, pixelBytes(view)); }

void previousPixel(View& view) { moveBack(view, pixelBytes(view)); }

void nextRow(View& view) { moveForward(view, rowBytes(view)); }

void previousRow(View& view) { moveBack(view, rowBytes(view)); }

void resize(View& view, std::int32_t width, std::int32_t height) {
  if (width < 1 || height < 1) {
    view.message = textOf(Text::startsAtOne);
    return;
  }
  const ImageSize size = imageSize(width, height, view.format);
  if (size != ImageSize::fits) {
    view.message = imageSizeText(size, view.format);
    return;
  }
  view.width = width;
  view.height = height;
  // The zoom that fits the new size, unless the user chose one.
  if (!view.zoomChosen) view.zoom = fittingZoom(view);
}

int largestZoomOut(const View& view) {
  return std::max<int>(2, std::max(view.width, view.height));
}

// The most an image may be zoomed in: within what the canvas draws.
int largestZoomIn(const View& view) {
  const std::int64_t largest = canvasOf(view.graphics).largestSide;
  if (largest == 0) return kLargestZoomIn;
  const std::int64_t side = std::max<std::int64_t>({1, view.width, view.height});
  return static_cast<int>(std::max<std::int64_t>(1, std::min<std::int64_t>(kLargestZoomIn, largest / side)));
}

// A new format for the same bytes, a tiled one in whole tiles; an image that
// no longer fits keeps the old one.
void takeFormat(View& view, const PixelFormat& format) {
  const bool tiled = isTiled(format);
  const std::int32_t width = tiled ? wholeTiles(view.width) : view.width;
  const std::int32_t height = tiled ? wholeTiles(view.height) : view.height;
  if (imageSize(width, height, format) != ImageSize::fits) {
    view.message = imageSizeText(imageSize(width, height, format), format);
    return;
  }
  view.format = format;
  view.width = width;
  view.height = height;
  if (!view.zoomChosen) view.zoom = fittingZoom(view);
}


void nextImage(View& view) { moveForward(view, imageBytes(view)); }

void previousImage(View& view) { moveBack(view, imageBytes(view)); }

// Where End goes: the offset at which the last whole image is the first shown.
std::uint64_t endOffset(const View& view) {
  const std::uint64_t bytes = imageBytes(view);
  const std::uint64_t phase = view.offset % pixelBytes(view);
  std::uint64_t target = view.romLength > bytes ? view.romLength - bytes : 0;
  const std::uint64_t back = (target % pixelBytes(view) + pixelBytes(view) - phase) % pixelBytes(view);
  target = target >= back ? target - back : phase;
  return std::min(target, lastOffsetLike(view, phase));
}

// A screen on, but never past where End goes (nor back from there).
void nextScreen(View& view) {
  const std::uint64_t before = view.offset;
  const std::uint64_t end = endOffset(view);
  moveForward(view, shownBytes(view));
  if (view.offset > end) view.offset = std::max(before, end);
}

void previousScreen(View& view) { moveBack(view, shownBytes(view)); }

void nextByte(View& view) { moveForward(view, 1); }

void previousByte(View& view) { moveBack(view, 1); }

void romStart(View& view) {
  const std::uint64_t phase = view.offset % pixelBytes(view);
  view.offset = phase < view.romLength ? phase : 0;
}

// The ROM's end in view: the first image shown is its last whole one.
void romEnd(View& view) {
  view.offset = endOffset(view);
}

// Sizes step by a pixel, or by a tile in tiled formats.
std::int32_t sizeStep(const View& view) {
  return static_cast<std::int32_t>(sizeStep(view.format));
}

void wider(View& view) { resize(view, view.width + sizeStep(view), view.height); }

void tileWider(View& view) { resize(view, view.width + static_cast<std::int32_t>(kTileSide), view.height); }

void tileNarrower(View& view) { resize(view, view.width - static_cast<std::int32_t>(kTileSide), view.height); }

void doubleWidth(View& view) { resize(view, view.width > (1 << 29) ? -1 : view.width * 2, view.height); }

void halveWidth(View& view) { resize(view, view.width / 2, view.height); }

void narrower(View& view) { resize(view, view.width - sizeStep(view), view.height); }

void taller(View& view) { resize(view, view.width, view.height + sizeStep(view)); }

void shorter(View& view) { resize(view, view.width, view.height - sizeStep(view)); }

void zoomIn(View& view) {
  view.zoomChosen = true;
  if (view.zoom >= 1) {
    view.zoom = std::min(view.zoom + 1, largestZoomIn(view));
  } else {
    view.zoom = view.zoom == -2 ? 1 : view.zoom + 1;
  }
}

void zoomOut(View& view) {
  view.zoomChosen = true;
  if (view.zoom > 1) {
    view.zoom -= 1;
  } else {
    view.zoom = view.zoom == 1 ? -2 : std::max(view.zoom - 1, -largestZoomOut(view));
  }
}

void zoomToFit(View& view) {
  view.zoom = fittingZoom(view);
  view.zoomChosen = false;
}

void typeOffset(View& view) { view.typing = Typing::offset; }

void typeWidth(View& view) { view.typing = Typing::width; }

void typeHeight(View& view) { view.typing = Typing::height; }

void typeFormat(View& view) { view.typing = Typing::format; }

void typeZoom(View& view) { view.typing = Typing::zoom; }

void nextFormat(View& view) {
  int next = 0;
  for (int index = 0; index < kFormatRingLength; ++index) {
    if (view.format.name == kFormatRing[index]) next = (index + 1) % kFormatRingLength;
  }
  PixelFormat format{};
  FormatRefusal refusal;
  parseFormat(kFormatRing[next], format, refusal);
  takeFormat(view, format);
}

void typePalette(View& view) { view.typing = Typing::palette; }

void greyPalette(View& view) {
  setPaletteSource(view.palette, "");
  view.palette.bank = 0;
}

// A palette that cannot move says why on the status line.
void paletteOn(View& view) { movePalette(view.palette, 1, view.message); }

void paletteBack(View& view) { movePalette(view.palette, -1, view.message); }

void nextBank(View& view) {
  if (view.palette.bank < 999999) ++view.palette.bank;
}

void previousBank(View& view) {
  if (view.palette.bank > 0) {
    --view.palette.bank;
  } else {
    view.message = textOf(Text::firstBank);
  }
}

void showHelp(View& view) { view.help = true; }

}  // namespace view_parts

}  // namespace velloran
