#include "browse/view.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "console/answer_reader.h"
#include "snapshot/bmp_file.h"
#include "texts/texts.h"

namespace velloran {

namespace {

constexpr int kLargestZoomIn = 64;
// xterm draws no sixel image wider or taller than this (maxGraphicSize).
constexpr std::int64_t kLargestSixelSide = 1000;
constexpr std::size_t kLongestTyped = 64;

constexpr const char* kBeforeTheStart = "Before the ROM's start.";

// Cells (or pixels) for `value` in steps of `divisor`, rounded up, within
// what the screen's ints hold.
int cellsFor(std::int64_t value, std::int64_t divisor) {
  return static_cast<int>(std::min<std::int64_t>((value + divisor - 1) / divisor, 1 << 30));
}

// A pixel's step: its word, a byte of linear indices, or a whole tile.
std::uint64_t pixelBytes(const View& view) {
  if (!isIndexed(view.format)) return view.format.wordBytes;
  return stripRows(view.format) == 8 ? 8 * view.format.indexBits : 1;
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
void nextRow(View& view) { moveForward(view, rowBytes(view)); }
void previousRow(View& view) { moveBack(view, rowBytes(view)); }
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

void resize(View& view, std::int32_t width, std::int32_t height) {
  if (width < 1 || height < 1) {
    view.message = kStartsAtOne;
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

// Sizes step by a pixel, or by a tile in tiled formats.
std::int32_t sizeStep(const View& view) {
  return static_cast<std::int32_t>(stripRows(view.format));
}

void wider(View& view) { resize(view, view.width + sizeStep(view), view.height); }
void tileWider(View& view) { resize(view, view.width + 8, view.height); }
void tileNarrower(View& view) { resize(view, view.width - 8, view.height); }
void doubleWidth(View& view) { resize(view, view.width > (1 << 29) ? -1 : view.width * 2, view.height); }
void halveWidth(View& view) { resize(view, view.width / 2, view.height); }
void narrower(View& view) { resize(view, view.width - sizeStep(view), view.height); }
void taller(View& view) { resize(view, view.width, view.height + sizeStep(view)); }
void shorter(View& view) { resize(view, view.width, view.height - sizeStep(view)); }

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

// Down to whole tiles, at least one.
std::int32_t wholeTiles(std::int32_t size) {
  return std::max(8, size - size % 8);
}

// A new format for the same bytes, a tiled one in whole tiles; an image that
// no longer fits keeps the old one.
void takeFormat(View& view, const PixelFormat& format) {
  const bool tiled = stripRows(format) == 8;
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
void movePaletteBy(View& view, std::int64_t colours) {
  if (!movePalette(view.palette, colours, view.message)) return;
}
void paletteOn(View& view) { movePaletteBy(view, 1); }
void paletteBack(View& view) { movePaletteBy(view, -1); }
void nextBank(View& view) {
  if (view.palette.bank < 999999) ++view.palette.bank;
}
void previousBank(View& view) {
  if (view.palette.bank > 0) {
    --view.palette.bank;
  } else {
    view.message = "Bank 0 is the first.";
  }
}
void showHelp(View& view) { view.help = true; }

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

// Where a pixel's bytes start: a tile's, in tiled formats.
std::uint64_t pixelOffsetIn(const View& view, std::uint32_t x, std::uint32_t y) {
  const PixelFormat& format = view.format;
  const auto width = static_cast<std::uint32_t>(view.width);
  if (!isIndexed(format)) return (std::uint64_t{y} * width + x) * format.wordBytes;
  if (stripRows(format) == 8) return romBytesOf(format, width, y - y % 8) + std::uint64_t{x / 8} * 8 * format.indexBits;
  return romBytesOf(format, width, y) + std::uint64_t{x} * format.indexBits / 8;
}

// Starts the view at the pointed pixel's image, or at the pixel itself.
void pickPointed(View& view, bool pixelItself) {
  const PointedPixel pixel = pixelAt(view, view.pointColumn, view.pointRow);
  if (!view.pointing || !pixel.valid) return;
  const std::uint64_t target = pixelItself ? pixel.offset : pixel.imageStart;
  if (target >= view.romLength) {
    view.message = kPastTheEnd;
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
bool applyCursorKey(View& view, const KeyPress& press) {
  const bool letter = press.key == Key::character;
  int across = 0;
  int down = 0;
  if (press.key == Key::right || (letter && press.character == 'l')) across = 1;
  if (press.key == Key::left || (letter && press.character == 'h')) across = -1;
  if (press.key == Key::down || (letter && press.character == 'j')) down = 1;
  if (press.key == Key::up || (letter && press.character == 'k')) down = -1;
  if ((across != 0 || down != 0) && !press.shifted) {
    view.pointColumn = std::max(0, std::min(view.columns - 1, view.pointColumn + across));
    view.pointRow = std::max(0, std::min(view.rows - statusRows(view) - 1, view.pointRow + down));
    view.pointing = true;
    return true;
  }
  if (press.key == Key::enter || press.key == Key::tab) {
    pickPointed(view, press.key == Key::tab);
    return true;
  }
  if (press.key == Key::escape || (letter && press.character == 'x')) {
    view.cursor = false;
    view.pointing = false;
    return true;
  }
  return false;
}

void showCursor(View& view) {
  view.cursor = true;
  if (!view.pointing) {
    view.pointColumn = 0;
    view.pointRow = 0;
  }
  view.pointing = true;
}
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
    {Key::character, 's', nothing, Action::save},      {Key::character, 'S', nothing, Action::saveShown},
    {Key::character, '?', showHelp, Action::none},     {Key::character, 'q', nothing, Action::leave},
    {Key::escape, 0, nothing, Action::leave},         {Key::redraw, 0, nothing, Action::redraw},
};

constexpr const char* kViewNotANumber =
    "Not a number: type one as 525, or in hex as 0x20D, $20D, 20Dh or 020D (a leading 0).";

// A number typed in the view, as a hex editor shows offsets: 0x, $, a
// trailing h or a leading 0 make it hexadecimal (00810D14); otherwise it is
// decimal, never octal. A sign before it is kept. False, with the message,
// when it cannot be used; `limit` is the largest magnitude.
bool readTyped(const std::string& text, std::uint64_t limit, bool& negative, std::uint64_t& magnitude,
               std::string& problem) {
  std::string digits = text;
  negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.erase(0, 1);
  unsigned base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.erase(0, 2);
    base = 16;
  } else if (!digits.empty() && digits[0] == '$') {
    digits.erase(0, 1);
    base = 16;
  } else if (!digits.empty() && (digits.back() == 'h' || digits.back() == 'H')) {
    digits.pop_back();
    base = 16;
  } else if (digits.size() > 1 && digits[0] == '0') {
    base = 16;
  }
  magnitude = 0;
  bool tooLarge = false;
  for (const char c : digits) {
    const unsigned digit = c >= '0' && c <= '9' ? static_cast<unsigned>(c - '0')
                           : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                           : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                  : 99u;
    if (digit >= base) {
      problem = kViewNotANumber;
      return false;
    }
    tooLarge = tooLarge || magnitude > (limit - digit) / base;
    if (!tooLarge) magnitude = magnitude * base + digit;
  }
  if (digits.empty()) {
    problem = kViewNotANumber;
    return false;
  }
  if (tooLarge) {
    problem = textOf(limit > std::numeric_limits<std::uint32_t>::max() ? Text::offsetTooLarge : Text::tooLarge);
    return false;
  }
  return true;
}

// An offset typed as a number, or as + or - a number from where the view is.
void takeOffset(View& view, const std::string& text) {
  bool negative = false;
  std::uint64_t magnitude = 0;
  if (!readTyped(text, std::numeric_limits<std::int64_t>::max(), negative, magnitude, view.message)) return;
  const bool relative = !text.empty() && (text[0] == '+' || text[0] == '-');
  // In unsigned arithmetic, each sum checked before it is made.
  const std::uint64_t base = relative ? view.offset : 0;
  if (negative && magnitude > base) {
    view.message = kBeforeTheStart;
  } else if (!negative && (magnitude > std::numeric_limits<std::uint64_t>::max() - base ||
                           base + magnitude >= std::max<std::uint64_t>(view.romLength, 1))) {
    view.message = kPastTheEnd;
  } else {
    view.offset = negative ? base - magnitude : base + magnitude;
  }
}

// A palette typed as an offset in the ROM (a number, as offsets are typed)
// or as a file; bank 0 of it.
void takePalette(View& view, const std::string& text) {
  bool negative = false;
  std::uint64_t offset = 0;
  std::string problem;
  if (text.empty()) return;
  if (readTyped(text, std::numeric_limits<std::int64_t>::max(), negative, offset, problem) && !negative) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%" PRIX64, offset);
    view.palette.source = hex;
  } else {
    view.palette.source = text;
  }
  view.palette.bank = 0;
}

// A zoom typed as 1:35 (out) or 4:1 (in), or as the zoom factor alone.
void takeZoom(View& view, const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::string left = colon == std::string::npos ? text : text.substr(0, colon);
  const std::string right = colon == std::string::npos ? "1" : text.substr(colon + 1);
  bool negative = false;
  std::uint64_t in = 0;
  std::uint64_t out = 0;
  constexpr const char* kZoomForms = "A zoom is 1:N to see more, N:1 to see it larger: 1:35, 4:1.";
  if (!readTyped(left, 1u << 20, negative, in, view.message) || negative ||
      !readTyped(right, 1u << 20, negative, out, view.message) || negative || (in != 1 && out != 1) || in == 0 ||
      out == 0) {
    view.message = kZoomForms;
    return;
  }
  if (in > 1) {
    view.zoom = static_cast<int>(std::min<std::uint64_t>(in, static_cast<std::uint64_t>(largestZoomIn(view))));
  } else {
    view.zoom = out <= 1 ? 1 : -static_cast<int>(std::min<std::uint64_t>(out, static_cast<std::uint64_t>(largestZoomOut(view))));
  }
  view.zoomChosen = true;
}

void takeTyped(View& view) {
  const std::string text = view.typed;
  const Typing what = view.typing;
  view.typing = Typing::nothing;
  view.typed.clear();
  if (what == Typing::offset) {
    takeOffset(view, text);
    return;
  }
  if (what == Typing::zoom) {
    takeZoom(view, text);
    return;
  }
  if (what == Typing::palette) {
    takePalette(view, text);
    return;
  }
  if (what == Typing::format) {
    PixelFormat format{};
    std::string problem;
    if (parseFormat(text, format, problem)) {
      takeFormat(view, format);
    } else {
      view.message = problem;
    }
    return;
  }
  bool negative = false;
  std::uint64_t value = 0;
  if (!readTyped(text, std::numeric_limits<std::int32_t>::max(), negative, value, view.message)) return;
  if (negative && value > 0) {
    view.message = textOf(Text::negative);
    return;
  }
  const auto size = static_cast<std::int32_t>(value);
  resize(view, what == Typing::width ? size : view.width, what == Typing::height ? size : view.height);
}

void applyTypingKey(View& view, const KeyPress& press) {
  if (press.key == Key::enter) {
    takeTyped(view);
  } else if (press.key == Key::escape) {
    view.typing = Typing::nothing;
    view.typed.clear();
  } else if (press.key == Key::backspace && !view.typed.empty()) {
    view.typed.pop_back();
  } else if ((press.key == Key::character || press.key == Key::pasted) && view.typed.size() < kLongestTyped) {
    view.typed += press.character;
  }
}

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
    "                     (hex: 0x20D $20D 20Dh 020D)",
    "m  M                 next format / type a format",
    "p  P                 palette from an offset or a file / grey",
    "(  )   9  0          palette - / + 1 colour, bank - / + 1",
    "Shift/Ctrl+arrows    pan an image larger than the screen",
    "mouse                point: a pixel's offset, image, x, y",
    "  double / right click  view from its image / its pixel",
    "  wheel, Shift+wheel    scroll rows / pan",
    "x                    keyboard cursor: arrows move it,",
    "                     Enter / Tab pick as the clicks do",
    "s  S                 save COUNT images / those shown",
    "Ctrl-L               draw again",
    "q  Esc               leave",
    "",
    "Any key closes this help.",
};
const int kHelpLineCount = static_cast<int>(sizeof kHelpLines / sizeof kHelpLines[0]);

const char* const kFormatRing[] = {"bgr555le", "bgr555be", "rgb565le", "rgba5551be", "rgba", "i4",
                                   "i8",       "t2p",      "t4p",      "t4",         "t4r",  "t8"};
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

int fittingZoom(const View& view) {
  const std::int32_t width = view.width;
  const std::int32_t height = view.height;
  const std::int64_t across = std::int64_t{std::max(1, view.columns)} * std::max(1, view.cellWidth);
  const std::int64_t pixelRows = std::int64_t{std::max(1, view.rows - statusRows(view))} * std::max(1, view.cellHeight);
  if (width <= across && height <= pixelRows) {
    return static_cast<int>(std::min<std::int64_t>({across / std::max(1, width), pixelRows / std::max(1, height),
                                                     std::int64_t{largestZoomIn(view)}}));
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

Action applyKey(View& view, const KeyPress& press) {
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

std::string statusText(const View& view, const std::string& romName) {
  if (view.typing != Typing::nothing) {
    const char* prompt = view.typing == Typing::offset  ? "Offset (hex with 0x, $, h or a leading 0): "
                         : view.typing == Typing::zoom  ? "Zoom (1:N or N:1): "
                         : view.typing == Typing::width ? "Width: "
                         : view.typing == Typing::format ? "Format (a name or a description as le16:r11-15,g5-10,b0-4): "
                         : view.typing == Typing::palette ? "Palette (a ROM offset, hex with 0x, $, h or a leading 0; or a file): "
                                                          : "Height: ";
    return prompt + view.typed + "_";
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
  return text + "  ? help";
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
