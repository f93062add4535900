#include "browse/view.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "browse/view_parts.h"
#include "snapshot/bmp_file.h"
#include "texts/texts.h"

namespace velloran {

using namespace view_parts;

namespace {

constexpr int kLargestZoomIn = 64;

// xterm draws no sixel image wider or taller than this (maxGraphicSize).
constexpr std::int64_t kLargestSixelSide = 1000;

// Cells (or pixels) for `value` in steps of `divisor`, rounded up, within
// what the screen's ints hold.
int cellsFor(std::int64_t value, std::int64_t divisor) {
  return static_cast<int>(std::min<std::int64_t>((value + divisor - 1) / divisor, 1 << 30));
}

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

void nextPixel(View& view) { moveForward(view, pixelBytes(view)); }

void previousPixel(View& view) { moveBack(view, pixelBytes(view)); }

// Down to whole tiles, at least one.
std::int32_t wholeTiles(std::int32_t size) {
  constexpr auto kSide = static_cast<std::int32_t>(kTileSide);
  return std::max(kSide, size - size % kSide);
}

}  // namespace

namespace view_parts {

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

// The most an image may be zoomed in: sixel images stay within what
// terminals draw.
int largestZoomIn(const View& view) {
  if (view.graphics != GraphicsMode::sixel) return kLargestZoomIn;
  const std::int64_t side = std::max<std::int64_t>({1, view.width, view.height});
  return static_cast<int>(std::max<std::int64_t>(1, std::min<std::int64_t>(kLargestZoomIn, kLargestSixelSide / side)));
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

}  // namespace view_parts

namespace {

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
  std::string problem;
  parseFormat(kFormatRing[next], format, problem);
  takeFormat(view, format);
}

void typePalette(View& view) { view.typing = Typing::palette; }

void greyPalette(View& view) {
  view.palette.source.clear();
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

void nothing(View&) {}

// The keys, as less and vim have them where they have one.
struct Binding {
  Key key;
  char character;
  void (*change)(View&);
  Action action;
};

constexpr Binding kBindings[] = {
    {Key::right, 0, nextPixel, Action::none},          {Key::character, 'l', nextPixel, Action::none},
    {Key::left, 0, previousPixel, Action::none},       {Key::character, 'h', previousPixel, Action::none},
    {Key::down, 0, nextRow, Action::none},             {Key::character, 'j', nextRow, Action::none},
    {Key::up, 0, previousRow, Action::none},           {Key::character, 'k', previousRow, Action::none},
    {Key::character, ']', nextImage, Action::none},    {Key::character, '[', previousImage, Action::none},
    {Key::pageDown, 0, nextScreen, Action::none},      {Key::character, ' ', nextScreen, Action::none},
    {Key::character, 'f', nextScreen, Action::none},   {Key::pageUp, 0, previousScreen, Action::none},
    {Key::character, 'b', previousScreen, Action::none}, {Key::character, '.', nextByte, Action::none},
    {Key::character, ',', previousByte, Action::none}, {Key::home, 0, romStart, Action::none},
    {Key::character, 'g', romStart, Action::none},     {Key::end, 0, romEnd, Action::none},
    {Key::character, 'G', romEnd, Action::none},       {Key::character, '>', wider, Action::none},
    {Key::character, '<', narrower, Action::none},     {Key::character, '}', taller, Action::none},
    {Key::character, '{', shorter, Action::none},      {Key::character, '+', zoomIn, Action::none},
    {Key::character, '=', zoomIn, Action::none},       {Key::character, '-', zoomOut, Action::none},
    {Key::character, 'z', zoomToFit, Action::none},    {Key::character, 'o', typeOffset, Action::none},
    {Key::character, 'W', typeWidth, Action::none},    {Key::character, 'H', typeHeight, Action::none},
    {Key::character, 'm', nextFormat, Action::none},   {Key::character, 'M', typeFormat, Action::none},
    {Key::character, 'Z', typeZoom, Action::none},     {Key::character, '*', doubleWidth, Action::none},
    {Key::character, '/', halveWidth, Action::none},   {Key::character, 'w', tileWider, Action::none},
    {Key::character, 'e', tileNarrower, Action::none},
    {Key::character, 'p', typePalette, Action::none},  {Key::character, 'P', greyPalette, Action::none},
    {Key::character, ')', paletteOn, Action::none},    {Key::character, '(', paletteBack, Action::none},
    {Key::character, '0', nextBank, Action::none},     {Key::character, '9', previousBank, Action::none},
    {Key::character, 'x', showCursor, Action::none},
    {Key::character, 'u', goBack, Action::none},       {Key::backspace, 0, goBack, Action::none},
    {Key::character, 'U', goForward, Action::none},    {Key::character, 't', switchFileType, Action::none},
    {Key::character, 's', nothing, Action::save},      {Key::character, 'S', nothing, Action::saveShown},
    {Key::character, '?', showHelp, Action::none},     {Key::character, 'q', nothing, Action::leave},
    {Key::escape, 0, nothing, Action::leave},         {Key::redraw, 0, nothing, Action::redraw},
};

}  // namespace

const char* const kHelpLines[] = {
    "Keys",
    "Right l  Left h      next / previous pixel",
    "Down j   Up k        next / previous image row",
    "]  [                 next / previous image",
    "PgDn Space f  PgUp b next / previous screen",
    ".  ,                 one byte on / back",
    "Home g   End G       the ROM's start / end",
    ">  <   w  e          width + / - 1, + / - 8 (a tile)",
    "*  /                 width doubled / halved",
    "}  {                 height + / - 1 (tiles: 8)",
    "+ =  -   z   Z       zoom in / out, fit, type 1:N N:1",
    "o  W  H              type an offset, a width, a height",
    "                     (hex: 0x20D $20D 20Dh 020D 1A3460)",
    "m  M                 next format / type a format",
    "p  P                 palette from an offset or a file / grey",
    "(  )   9  0          palette - / + 1 colour, bank - / + 1",
    "Shift/Ctrl+arrows    pan an image larger than the screen",
    "mouse                point: a pixel's offset, image, x, y",
    "  double / right click  view from its image / its pixel",
    "  wheel, Shift+wheel    scroll rows / pan",
    "x                    keyboard cursor: arrows move it,",
    "                     Enter / Tab pick as the clicks do",
    "u Backspace  U       back before the last jump / forward",
    "s  S   t             save COUNT / those shown; t: PNG, BMP",
    "q  Esc   Ctrl-L      leave / draw again",
    "",
    "Any key closes this help.",
};

const int kHelpLineCount = static_cast<int>(sizeof kHelpLines / sizeof kHelpLines[0]);

std::string keyListText() {
  std::string text;
  // Between the title and the blank line before "Any key closes this help."
  for (int line = 1; line < kHelpLineCount - 2; ++line) text += std::string(kHelpLines[line]) + "\n";
  return text;
}

const char* const kFormatRing[] = {"bgr555le", "bgr555be", "rgb565le", "rgba5551be", "rgba", "i1", "i4",
                                   "i8",       "t1",       "t2p",      "t4p",        "t4",   "t4r", "t8"};

const int kFormatRingLength = static_cast<int>(sizeof kFormatRing / sizeof kFormatRing[0]);

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

namespace {

// Whether the key may jump: one the history keeps the place before.
bool mayJump(const View& view, const KeyPress& press) {
  if (view.help) return false;
  if (view.typing != Typing::nothing) return press.key == Key::enter;
  if (press.key == Key::mouse) return press.mouse.action == MouseAction::press;
  return view.cursor && (press.key == Key::enter || press.key == Key::tab);
}

Action applyKeyHere(View& view, const KeyPress& press);

}  // namespace

Action applyKey(View& view, const KeyPress& press) {
  if (!mayJump(view, press)) return applyKeyHere(view, press);
  const Place before = placeOf(view);
  const Action action = applyKeyHere(view, press);
  rememberJump(view, before);
  return action;
}

namespace {

Action applyKeyHere(View& view, const KeyPress& press) {
  view.message.clear();
  if (view.help) {
    view.help = false;  // any key closes it, and does nothing else
    return Action::none;
  }
  if (view.typing != Typing::nothing) {
    applyTypingKey(view, press);
    return Action::none;
  }
  if (press.key == Key::mouse) return applyMouse(view, press);
  if (view.cursor && applyCursorKey(view, press)) return Action::none;
  // A key moves what is under a mouse pointer: it points again when it moves.
  if (!view.cursor) view.pointing = false;
  // Shift or Ctrl with an arrow pans a large image.
  if (press.shifted && (press.key == Key::left || press.key == Key::right || press.key == Key::up || press.key == Key::down)) {
    panBy(view, press.key == Key::right ? 1 : press.key == Key::left ? -1 : 0,
          press.key == Key::down ? 1 : press.key == Key::up ? -1 : 0);
    return Action::none;
  }
  for (const Binding& binding : kBindings) {
    if (binding.key == press.key && (press.key != Key::character || binding.character == press.character)) {
      binding.change(view);
      clampPan(view);
      return binding.action;
    }
  }
  return Action::none;
}

}  // namespace

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
  std::string text = romName + "  " + offset + "  of " + std::to_string(view.romLength);
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
  return text + (view.png ? "  PNG" : "  BMP") + "  ? help";
}

std::string paletteStatus(const PaletteChoice& palette) {
  if (palette.source.empty()) return "palette grey";
  std::uint64_t offset = 0;
  std::string text = "palette ";
  if (paletteOffsetOf(palette.source, offset)) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%08" PRIX64, offset);
    text += hex;
  } else {
    text += printableText(fileNameOf(palette.source));
  }
  return text + " bank " + std::to_string(palette.bank);
}

}  // namespace velloran
