// A full screen of character cells, drawn as one frame of text:
//
//   ESC[?2026h                     synchronized update: the terminal shows
//                                  the frame whole, not half drawn
//   ESC[row;1H cells ... (per row) each row that changed, from its first column
//   ESC[0m ESC[?2026l
//
// A cell is a character with a foreground and a background colour, or two
// pixels: the upper one as U+2580's foreground, the lower one as its
// background, as --preview draws them. A colour sequence is written only
// where the colour changes. The terminal's own colours stay where there is
// nothing to show (kNoColour): a lone upper pixel is U+2580 on the default
// background, a lone lower one U+2584.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velloran {

// Enters and leaves the full screen: the alternate screen with the cursor
// hidden, pastes bracketed (so that pasted text is never taken for keys)
// and every mouse motion and button reported in the SGR form; then the mouse
// and pastes as they were, the colours reset, the cursor shown and the main
// screen.
constexpr const char* kEnterFullScreen = "\x1B[?1049h\x1B[?25l\x1B[?2004h\x1B[?1003h\x1B[?1006h";
constexpr const char* kLeaveFullScreen = "\x1B[?1006l\x1B[?1003l\x1B[?2004l\x1B[0m\x1B[?25h\x1B[?1049l";

constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;  // the terminal's own

// 0xRRGGBB from 8-bit levels.
constexpr std::uint32_t rgb(unsigned red, unsigned green, unsigned blue) {
  return (red << 16) | (green << 8) | blue;
}

struct Cell {
  std::uint32_t foreground;
  std::uint32_t background;
  char32_t glyph;  // ' ' for an empty cell
  bool inverse;    // text in the terminal's colours swapped (the status line)
};

struct Screen {
  int columns;
  int rows;
  std::vector<Cell> cells;  // row by row
};

Screen blankScreen(int columns, int rows);

// Two pixels in one cell; kNoColour for either shows the background there.
void putPixels(Screen& screen, int column, int row, std::uint32_t upper, std::uint32_t lower);

// A number's decimal digits, without a string of its own.
void putNumber(std::string& text, std::uint64_t number);

// Text from `column` on, cut at the screen's edge; UTF-8, one cell a character.
void putText(Screen& screen, int column, int row, std::string_view text, bool inverse);

// The screen as one frame, in one pass over its cells: the whole of it, or,
// given the screen `before` it of the same size, only its rows that changed.
std::string frameText(const Screen& screen, const Screen* before = nullptr);

// Rows [firstRow, endRow) alone, without the frame's marks: the text that
// goes with images drawn in pixels.
std::string rowsText(const Screen& screen, int firstRow, int endRow);

// A frame's start and end (a synchronized update), the screen erased, and
// the cursor put at a cell: what a frame of images drawn in pixels is made of.
constexpr const char* kFrameStart = "\x1B[?2026h";
constexpr const char* kFrameEnd = "\x1B[?2026l";
constexpr const char* kEraseScreen = "\x1B[0m\x1B[2J";
std::string cursorTo(int column, int row);

// One line of a picture as --preview prints it below its Opening line:
//
//   "\n" ESC[38;2;R;G;Bm ESC[48;2;R;G;Bm U+2580 ... ESC[0m
//
// a cell for each of `count` pixel pairs, the upper pixel as foreground, the
// lower as background, each cell's colours in full; a picture's last single
// row (`lower` null) keeps the terminal's background.
void putPictureLine(std::string& text, const std::uint32_t* upper, const std::uint32_t* lower, std::size_t count);

}  // namespace velloran
