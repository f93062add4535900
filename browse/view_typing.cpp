// What is typed on the view's status line: an offset, a size, a zoom, a
// format or a palette, read as a hex editor shows numbers.
#include <limits>
#include <string_view>

#include "browse/view.h"
#include "browse/view_parts.h"
#include "dump/answers.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {

using namespace view_parts;

namespace {

constexpr std::size_t kLongestTyped = 64;

// A number typed in the view, in the hex editor's forms (texts/numbers.h).
// A sign before it is kept. False, with the message, when it cannot be used;
// `limit` is the largest magnitude, and `tooLarge` what is said of a larger
// one.
bool readTyped(const std::string& text, std::uint64_t limit, Text tooLarge, bool& negative,
               std::uint64_t& magnitude, std::string& problem) {
  std::string_view digits = text;
  negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
  switch (readNumber(digits, NumberGrammar::hexEditor, limit, magnitude)) {
    case NumberRead::read:
      return true;
    case NumberRead::tooLarge:
      problem = textOf(tooLarge);
      return false;
    case NumberRead::notANumber:
      break;
  }
  problem = textOf(Text::viewNotANumber);
  return false;
}

// An offset typed as a number, or as + or - a number from where the view is,
// within what the start address may be.
bool readOffset(const std::string& text, bool& negative, std::uint64_t& magnitude, std::string& problem) {
  const AnswerRow& start = answerRow(kStartAddress);
  return readTyped(text, start.largest, start.tooLarge, negative, magnitude, problem);
}

void takeOffset(View& view, const std::string& text) {
  bool negative = false;
  std::uint64_t magnitude = 0;
  if (!readOffset(text, negative, magnitude, view.message)) return;
  const bool relative = !text.empty() && (text[0] == '+' || text[0] == '-');
  // In unsigned arithmetic, each sum checked before it is made.
  const std::uint64_t base = relative ? view.offset : 0;
  if (negative && magnitude > base) {
    view.message = textOf(Text::beforeTheStart);
  } else if (!negative && (magnitude > std::numeric_limits<std::uint64_t>::max() - base ||
                           base + magnitude >= std::max<std::uint64_t>(view.romLength, 1))) {
    view.message = textOf(Text::pastTheEnd);
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
  if (readOffset(text, negative, offset, problem) && !negative) {
    setPaletteOffset(view.palette, offset);
  } else {
    setPaletteSource(view.palette, text);
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
  const bool read = readTyped(left, 1u << 20, Text::zoomForms, negative, in, view.message) && !negative &&
                    readTyped(right, 1u << 20, Text::zoomForms, negative, out, view.message) && !negative;
  if (!read || (in != 1 && out != 1) || in == 0 || out == 0) {
    view.message = textOf(Text::zoomForms);
    return;
  }
  if (in > 1) {
    view.zoom = static_cast<int>(std::min<std::uint64_t>(in, static_cast<std::uint64_t>(largestZoomIn(view))));
  } else {
    view.zoom = out <= 1 ? 1 : -static_cast<int>(std::min<std::uint64_t>(out, static_cast<std::uint64_t>(largestZoomOut(view))));
  }
  view.zoomChosen = true;
}

}  // namespace

namespace view_parts {

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
    FormatRefusal refusal;
    if (parseFormat(text, format, refusal)) {
      takeFormat(view, format);
    } else {
      view.message = formatRefusalText(refusal);
    }
    return;
  }
  // A width or a height, within what the dump's answers may be.
  const AnswerRow& row = answerRow(what == Typing::width ? kWidth : kHeight);
  bool negative = false;
  std::uint64_t value = 0;
  if (!readTyped(text, row.largest, row.tooLarge, negative, value, view.message)) return;
  if (negative && value > 0) {
    view.message = textOf(Text::negative);
    return;
  }
  const auto size = static_cast<std::int32_t>(value);
  resize(view, what == Typing::width ? size : view.width, what == Typing::height ? size : view.height);
}

void cancelTyping(View& view) {
  view.typing = Typing::nothing;
  view.typed.clear();
}

void eraseTyped(View& view) {
  if (!view.typed.empty()) view.typed.pop_back();
}

void typeCharacter(View& view, const KeyPress& press) {
  if (view.typed.size() < kLongestTyped) view.typed += press.character;
}

}  // namespace view_parts

}  // namespace velloran
