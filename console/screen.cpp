#include "console/screen.h"

#include <algorithm>

#include "platform/platform.h"

namespace velloran {

namespace {

constexpr char32_t kUpperHalf = 0x2580;
constexpr char32_t kLowerHalf = 0x2584;

// 38;2;R;G;B sets the foreground, 48;2;R;G;B the background; 39 and 49
// give the terminal's own back. Both go in one sequence when both change.
void putColour(std::string& text, bool foreground, std::uint32_t colour) {
  if (colour == kNoColour) {
    text += foreground ? "39" : "49";
    return;
  }
  text += foreground ? "38;2;" : "48;2;";
  putNumber(text, (colour >> 16) & 0xFFu);
  text += ';';
  putNumber(text, (colour >> 8) & 0xFFu);
  text += ';';
  putNumber(text, colour & 0xFFu);
}

void putUtf8(std::string& text, char32_t glyph) {
  if (glyph < 0x80) {
    text += static_cast<char>(glyph);
  } else if (glyph < 0x800) {
    text += static_cast<char>(0xC0 | (glyph >> 6));
    text += static_cast<char>(0x80 | (glyph & 0x3F));
  } else if (glyph < 0x10000) {
    text += static_cast<char>(0xE0 | (glyph >> 12));
    text += static_cast<char>(0x80 | ((glyph >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (glyph & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (glyph >> 18));
    text += static_cast<char>(0x80 | ((glyph >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((glyph >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (glyph & 0x3F));
  }
}

// The next character of UTF-8 text; a control, or a byte that is not
// well-formed UTF-8, shows as '?', so that nothing a terminal acts on gets
// into a cell.
char32_t nextCharacter(std::string_view text, std::size_t& at) {
  const TextPiece piece = textPieceAt(text, at);
  const auto lead = static_cast<unsigned char>(text[at]);
  at += piece.length;
  if (!piece.printable) return U'?';
  if (piece.length == 1) return lead;
  char32_t glyph = lead & (0x3F >> (piece.length - 1));
  for (std::size_t i = at - piece.length + 1; i < at; ++i) glyph = (glyph << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
  return glyph;
}

}  // namespace

Screen blankScreen(int columns, int rows) {
  const int width = columns > 0 ? columns : 0;
  const int height = rows > 0 ? rows : 0;
  return Screen{width, height,
                std::vector<Cell>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                                  Cell{kNoColour, kNoColour, U' ', false})};
}

void putPixels(Screen& screen, int column, int row, std::uint32_t upper, std::uint32_t lower) {
  if (column < 0 || row < 0 || column >= screen.columns || row >= screen.rows) return;
  Cell& cell = screen.cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(screen.columns) +
                            static_cast<std::size_t>(column)];
  if (upper == kNoColour && lower == kNoColour) {
    cell = Cell{kNoColour, kNoColour, U' ', false};
  } else if (upper == kNoColour) {
    cell = Cell{lower, kNoColour, kLowerHalf, false};
  } else {
    cell = Cell{upper, lower, kUpperHalf, false};
  }
}

void putText(Screen& screen, int column, int row, std::string_view text, bool inverse) {
  if (row < 0 || row >= screen.rows) return;
  for (std::size_t at = 0; at < text.size() && column < screen.columns; ++column) {
    const char32_t glyph = nextCharacter(text, at);
    if (column < 0) continue;
    screen.cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(screen.columns) +
                 static_cast<std::size_t>(column)] = Cell{kNoColour, kNoColour, glyph, inverse};
  }
}

namespace {

bool sameRow(const Screen& screen, const Screen& before, int row) {
  const auto start = static_cast<std::size_t>(row) * static_cast<std::size_t>(screen.columns);
  for (std::size_t at = start; at < start + static_cast<std::size_t>(screen.columns); ++at) {
    const Cell& cell = screen.cells[at];
    const Cell& was = before.cells[at];
    if (cell.glyph != was.glyph || cell.foreground != was.foreground || cell.background != was.background ||
        cell.inverse != was.inverse) {
      return false;
    }
  }
  return true;
}

// Rows [firstRow, endRow), each from its first column, the colours starting
// from the terminal's own.
void putRows(std::string& text, const Screen& screen, const Screen* before, int firstRow, int endRow) {
  const bool sameSize = before != nullptr && before->columns == screen.columns && before->rows == screen.rows;
  text += "\x1B[0m";
  // A cell takes at most 41 bytes of colours and 4 of UTF-8; most take far fewer.
  text.reserve(text.size() + screen.cells.size() * 24 + static_cast<std::size_t>(screen.rows) * 12 + 32);
  std::uint32_t foreground = kNoColour;
  std::uint32_t background = kNoColour;
  bool inverse = false;
  for (int row = std::max(0, firstRow); row < std::min(endRow, screen.rows); ++row) {
    if (sameSize && sameRow(screen, *before, row)) continue;
    text += "\x1B[";
    putNumber(text, static_cast<unsigned>(row + 1));
    text += ";1H";
    const Cell* cell = &screen.cells[static_cast<std::size_t>(row) * static_cast<std::size_t>(screen.columns)];
    for (int column = 0; column < screen.columns; ++column, ++cell) {
      if (cell->inverse != inverse) {
        text += cell->inverse ? "\x1B[7m" : "\x1B[27m";
        inverse = cell->inverse;
      }
      // A blank cell shows only its background.
      const bool newForeground = cell->foreground != foreground && cell->glyph != U' ';
      const bool newBackground = cell->background != background;
      if (newForeground || newBackground) {
        text += "\x1B[";
        if (newForeground) putColour(text, true, cell->foreground);
        if (newForeground && newBackground) text += ';';
        if (newBackground) putColour(text, false, cell->background);
        text += 'm';
        if (newForeground) foreground = cell->foreground;
        background = cell->background;
      }
      putUtf8(text, cell->glyph);
    }
  }
  text += "\x1B[0m";
}

}  // namespace

void putNumber(std::string& text, std::uint64_t number) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) text += digits[--count];
}

void putPictureLine(std::string& text, const std::uint32_t* upper, const std::uint32_t* lower, std::size_t count) {
  text += '\n';
  for (std::size_t column = 0; column < count; ++column) {
    text += "\x1B[";
    putColour(text, true, upper[column]);
    text += 'm';
    if (lower != nullptr) {
      text += "\x1B[";
      putColour(text, false, lower[column]);
      text += 'm';
    }
    putUtf8(text, kUpperHalf);
  }
  text += "\x1B[0m";
}

std::string frameText(const Screen& screen, const Screen* before) {
  std::string text = kFrameStart;
  putRows(text, screen, before, 0, screen.rows);
  text += kFrameEnd;  // appended, not added: a frame is not copied again
  return text;
}

std::string cursorTo(int column, int row) {
  return "\x1B[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H";
}

std::string rowsText(const Screen& screen, int firstRow, int endRow) {
  std::string text;
  putRows(text, screen, nullptr, firstRow, endRow);
  return text;
}

}  // namespace velloran
