#include "browse/view.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "console/answer_reader.h"
#include "snapshot/bmp_file.h"

namespace velloran {

namespace {

constexpr int kLargestZoomIn = 64;
// xterm draws no sixel image wider or taller than this (maxGraphicSize).
constexpr std::int64_t kLargestSixelSide = 1000;
constexpr std::size_t kLongestTyped = 64;

constexpr const char* kStartsAtOne = "Width and height start at 1.";
constexpr const char* kPastTheEnd = "Past the ROM's end: an offset must be below its size.";
constexpr const char* kBeforeTheStart = "Before the ROM's start.";

int ceilDivide(std::int64_t value, std::int64_t divisor) {
  return static_cast<int>(std::min<std::int64_t>((value + divisor - 1) / divisor, 1 << 30));
}

std::uint64_t pixelBytes(const View& view) {
  return std::max(1u, view.format.wordBytes);
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

std::uint64_t rowBytes(const View& view) {
  return std::uint64_t{static_cast<std::uint32_t>(view.width)} * pixelBytes(view);
}

void nextPixel(View& view) { moveForward(view, pixelBytes(view)); }
void previousPixel(View& view) { moveBack(view, pixelBytes(view)); }
void nextRow(View& view) { moveForward(view, rowBytes(view)); }
void previousRow(View& view) { moveBack(view, rowBytes(view)); }
void nextImage(View& view) { moveForward(view, imageBytes(view)); }
void previousImage(View& view) { moveBack(view, imageBytes(view)); }
void nextScreen(View& view) { moveForward(view, shownBytes(view)); }
void previousScreen(View& view) { moveBack(view, shownBytes(view)); }
void nextByte(View& view) { moveForward(view, 1); }
void previousByte(View& view) { moveBack(view, 1); }

void romStart(View& view) {
  const std::uint64_t phase = view.offset % pixelBytes(view);
  view.offset = phase < view.romLength ? phase : 0;
}

// The ROM's end in view: the first image shown is its last whole one.
void romEnd(View& view) {
  const std::uint64_t bytes = imageBytes(view);
  const std::uint64_t phase = view.offset % pixelBytes(view);
  std::uint64_t target = view.romLength > bytes ? view.romLength - bytes : 0;
  const std::uint64_t back = (target % pixelBytes(view) + pixelBytes(view) - phase) % pixelBytes(view);
  target = target >= back ? target - back : phase;
  view.offset = std::min(target, lastOffsetLike(view, phase));
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
}

void wider(View& view) { resize(view, view.width + 1, view.height); }
void narrower(View& view) { resize(view, view.width - 1, view.height); }
void taller(View& view) { resize(view, view.width, view.height + 1); }
void shorter(View& view) { resize(view, view.width, view.height - 1); }

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
  if (view.zoom >= 1) {
    view.zoom = std::min(view.zoom + 1, largestZoomIn(view));
  } else {
    view.zoom = view.zoom == -2 ? 1 : view.zoom + 1;
  }
}

void zoomOut(View& view) {
  if (view.zoom > 1) {
    view.zoom -= 1;
  } else {
    view.zoom = view.zoom == 1 ? -2 : std::max(view.zoom - 1, -largestZoomOut(view));
  }
}

void zoomToFit(View& view) {
  view.zoom = fittingZoom(view);
}

void typeOffset(View& view) { view.typing = Typing::offset; }
void typeWidth(View& view) { view.typing = Typing::width; }
void typeHeight(View& view) { view.typing = Typing::height; }
void typeFormat(View& view) { view.typing = Typing::format; }

// A new format for the same bytes; an image that no longer fits keeps the old one.
void takeFormat(View& view, const PixelFormat& format) {
  if (imageSize(view.width, view.height, format) != ImageSize::fits) {
    view.message = imageSizeText(imageSize(view.width, view.height, format), format);
    return;
  }
  view.format = format;
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
    {Key::character, 's', nothing, Action::save},      {Key::character, 'S', nothing, Action::saveShown},
    {Key::character, '?', showHelp, Action::none},     {Key::character, 'q', nothing, Action::leave},
    {Key::escape, 0, nothing, Action::leave},         {Key::redraw, 0, nothing, Action::redraw},
};

// A typed number, read as the dialogue reads one: the whole text must be
// the number. False, with the message, when it cannot be used.
bool readTyped(const std::string& text, bool wide, std::int64_t& value, std::string& problem) {
  AnswerInput input = textInput(text);
  AnswerStatus status;
  if (wide) {
    status = readOffset(input, value);
  } else {
    std::int32_t narrow = 0;
    status = readInteger(input, narrow);
    value = narrow;
  }
  if (status == AnswerStatus::ended || (status == AnswerStatus::ok && !nothingLeft(input))) {
    status = AnswerStatus::notANumber;
  }
  if (status == AnswerStatus::ok) return true;
  problem = status == AnswerStatus::notANumber ? kNotANumberText : wide ? kOffsetTooLargeText : kTooLargeText;
  return false;
}

// An offset typed as a number, or as + or - a number from where the view is.
void takeOffset(View& view, const std::string& text) {
  std::int64_t value = 0;
  if (!readTyped(text, true, value, view.message)) return;
  const bool relative = !text.empty() && (text[0] == '+' || text[0] == '-');
  if (!relative && value < 0) {
    view.message = kNegativeText;
    return;
  }
  // In unsigned arithmetic, each sum checked before it is made.
  const std::uint64_t magnitude = value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                            : static_cast<std::uint64_t>(value);
  const std::uint64_t base = relative ? view.offset : 0;
  if (value < 0 && magnitude > base) {
    view.message = kBeforeTheStart;
  } else if (value >= 0 && (magnitude > std::numeric_limits<std::uint64_t>::max() - base ||
                            base + magnitude >= std::max<std::uint64_t>(view.romLength, 1))) {
    view.message = kPastTheEnd;
  } else {
    view.offset = value < 0 ? base - magnitude : base + magnitude;
  }
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
  std::int64_t value = 0;
  if (!readTyped(text, false, value, view.message)) return;
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
  } else if (press.key == Key::character && view.typed.size() < kLongestTyped) {
    view.typed += press.character;
  }
}

}  // namespace

const char* const kHelpLines[] = {
    "Keys                                              ",
    "Right l  Left h      next / previous pixel          ",
    "Down j   Up k        next / previous image row      ",
    "]  [                 next / previous image          ",
    "PgDn Space f  PgUp b next / previous screen         ",
    ".  ,                 one byte on / back             ",
    "Home g   End G       the ROM's start / end          ",
    ">  <                 width + / - 1                  ",
    "}  {                 height + / - 1                 ",
    "+ =  -   z           zoom in / out, the zoom that fits",
    "o  W  H              type an offset, a width, a height",
    "m  M                 next format / type a format    ",
    "s  S                 save COUNT images / those shown",
    "Ctrl-L               draw again                     ",
    "q  Esc               leave                          ",
    "                                                    ",
    "Any key closes this help.                           ",
};
const int kHelpLineCount = static_cast<int>(sizeof kHelpLines / sizeof kHelpLines[0]);

const char* const kFormatRing[] = {"bgr555le", "bgr555be", "rgb565le", "rgba5551be", "rgba"};
const int kFormatRingLength = static_cast<int>(sizeof kFormatRing / sizeof kFormatRing[0]);

Layout layoutOf(const View& view) {
  Layout layout{};
  if (view.zoom >= 1) {
    layout.imagePixelColumns = static_cast<int>(std::min<std::int64_t>(std::int64_t{view.width} * view.zoom, 1 << 30));
    layout.imagePixelRows = static_cast<int>(std::min<std::int64_t>(std::int64_t{view.height} * view.zoom, 1 << 30));
  } else {
    layout.imagePixelColumns = ceilDivide(view.width, -view.zoom);
    layout.imagePixelRows = ceilDivide(view.height, -view.zoom);
  }
  layout.imageColumns = ceilDivide(layout.imagePixelColumns, std::max(1, view.cellWidth));
  layout.imageRows = ceilDivide(layout.imagePixelRows, std::max(1, view.cellHeight));
  const int area = std::max(1, view.rows - 1);
  layout.across = std::max(1, (view.columns + 1) / (layout.imageColumns + 1));
  layout.down = std::max(1, (area + 1) / (layout.imageRows + 1));
  return layout;
}

int fittingZoom(const View& view) {
  const std::int32_t width = view.width;
  const std::int32_t height = view.height;
  const std::int64_t across = std::int64_t{std::max(1, view.columns)} * std::max(1, view.cellWidth);
  const std::int64_t pixelRows = std::int64_t{std::max(1, view.rows - 1)} * std::max(1, view.cellHeight);
  if (width <= across && height <= pixelRows) {
    return static_cast<int>(std::min<std::int64_t>({across / std::max(1, width), pixelRows / std::max(1, height),
                                                     std::int64_t{largestZoomIn(view)}}));
  }
  const int out = std::max(ceilDivide(width, across), ceilDivide(height, pixelRows));
  return -std::max(2, out);
}

View startView(std::uint64_t romLength, std::uint64_t offset, std::int32_t width, std::int32_t height,
               std::int32_t imageCount, int columns, int rows, GraphicsMode graphics, int cellWidth, int cellHeight,
               const PixelFormat& format) {
  View view{romLength, offset,    width,     height,     imageCount, 1,  columns, rows,
            graphics,  cellWidth, cellHeight, {},        Typing::nothing, {}, false, format};
  zoomToFit(view);
  return view;
}

std::uint64_t imageBytes(const View& view) {
  return std::uint64_t{static_cast<std::uint32_t>(view.width)} * static_cast<std::uint32_t>(view.height) *
         pixelBytes(view);
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
  for (const Binding& binding : kBindings) {
    if (binding.key == press.key && (press.key != Key::character || binding.character == press.character)) {
      binding.change(view);
      return binding.action;
    }
  }
  return Action::none;
}

std::string statusText(const View& view, const std::string& romName) {
  if (view.typing != Typing::nothing) {
    const char* prompt = view.typing == Typing::offset  ? "Offset: "
                         : view.typing == Typing::width ? "Width: "
                         : view.typing == Typing::format ? "Format (a name or a description as le16:r11-15,g5-10,b0-4): "
                                                          : "Height: ";
    return prompt + view.typed + "_";
  }
  if (!view.message.empty()) return view.message;
  char offset[64];
  std::snprintf(offset, sizeof offset, "0x%08" PRIX64 " (%" PRIu64 ")", view.offset, view.offset);
  std::string text = romName + "  " + offset + "  of " + std::to_string(view.romLength);
  text += " bytes  " + std::to_string(view.width) + "x" + std::to_string(view.height) + " " + view.format.name +
          "  zoom ";
  text += view.zoom >= 1 ? std::to_string(view.zoom) + ":1" : "1:" + std::to_string(-view.zoom);
  return text + "  ? help";
}

}  // namespace velloran
