// Which pictures the terminal draws, and how big its cells are in pixels.
//
// Asked of the terminal once, when both standard input and output are it:
//
//   ESC _G i=31,s=1,v=1,a=q,t=d,f=24 ; AAAA ST   kitty: "ESC _G i=31;OK ST"
//   ESC [16t                                     the cell size: "ESC [6;H;Wt"
//   ESC [c                                       primary device attributes:
//                                                "ESC [?62;4;...c", 4 = sixel
//
// Every terminal answers ESC[c, and answers in order, so its reply ends what
// is read; a terminal that answers nothing costs at most kQueryMilliseconds.
#pragma once

#include <cstdint>
#include <string>

#include "console/graphics.h"

namespace velloran {

enum class GraphicsChoice { automatic, blocks, sixel, kitty };

constexpr int kQueryMilliseconds = 200;
// Where the terminal does not say its cell size.
constexpr int kDefaultCellWidth = 10;
constexpr int kDefaultCellHeight = 20;

// However large a terminal says it or its cells are, pictures are made for
// at most this many cells across and down, cells of at most this many
// pixels, and a screen of at most a 4K display's pixels: a frame's text stays
// within tens of MB, and its sizes within int.
constexpr int kLargestRoomColumns = 1000;
constexpr int kLargestRoomRows = 1000;
constexpr int kLargestCellWidth = 64;
constexpr int kLargestCellHeight = 128;
constexpr std::int64_t kLargestScreenPixels = std::int64_t{3840} * 2160;

// The terminal's size in cells (terminalSize), within the largest room.
bool terminalRoom(int& columns, int& rows);

// Cells of `cellWidth` x `cellHeight` pixels made smaller, in proportion,
// where they pass the largest cell or `columns` x `rows` of them pass the
// largest screen: pictures then take less than their cells, never more.
void boundCellPixels(int columns, int rows, int& cellWidth, int& cellHeight);

// The cell size the terminal tells (terminalCellPixels), within the largest
// cell; false where it does not tell.
bool terminalCellSize(int& cellWidth, int& cellHeight);

struct TerminalGraphics {
  GraphicsMode mode;
  int cellWidth;
  int cellHeight;
};

// What the replies to the queries say: kitty's OK, the cell size (0 when
// not given) and the device attributes' numbers.
struct QueryReplies {
  bool kittyAnswered;
  int cellWidth;
  int cellHeight;
  bool sixel;
  bool complete;  // the device attributes came: nothing more is on its way
};

QueryReplies readQueryReplies(const std::string& replies);

// The graphics to draw with: as chosen, or, for `automatic`, as the terminal
// answers (blocks when standard input and output are not both the terminal,
// or nothing answers): kitty when TERM names kitty or Ghostty or the kitty
// query is answered, sixel when the device attributes hold 4, else blocks.
TerminalGraphics findTerminalGraphics(GraphicsChoice choice);

// Reads and drops the answers to the queries that had not come when
// findTerminalGraphics stopped waiting (a slow link), so that they reach
// neither the keys nor, after the run, the shell: waits until the device
// attributes come, at most a second after the queries went. Does nothing
// when every answer came.
void dropLateReplies();

}  // namespace velloran
