// What the live view shows, and what each key does to it. Pure: the loop
// (browse.h) reads the keys and the ROM, and draws (frame.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/graphics.h"
#include "console/keys.h"
#include "dump/palette_source.h"
#include "pixels/pixel_format.h"

namespace velloran {

enum class Typing { nothing, offset, width, height, format, zoom, palette };

// Where the view is: what a jump changes and `u` takes back.
struct Place {
  std::uint64_t offset;
  std::int32_t width;
  std::int32_t height;
  PixelFormat format;
  int zoom;
  bool zoomChosen;
  PaletteChoice palette;
  bool inStream;               // the offset is into the decoded bytes of the stream
  std::uint64_t streamOffset;  // at this ROM offset
};

// The places kept each way; older ones are dropped.
constexpr std::size_t kPlacesKept = 64;

struct View {
  std::uint64_t romLength;
  std::uint64_t offset;     // of the first image shown, in bytes
  std::int32_t width;       // pixels, from 1
  std::int32_t height;
  std::int32_t imageCount;  // what `s` saves
  int zoom;                 // from 1: each image pixel zoom x zoom cell pixels;
                            // from -2 down: each cell pixel the average of a -zoom x -zoom block
  int columns;              // the terminal's size in cells
  int rows;
  GraphicsMode graphics;    // how the images are drawn
  int cellWidth;            // the pixels a cell holds: 1 x 2 in half blocks,
  int cellHeight;           // the cell's size on screen in sixel or kitty
  std::string message;      // shown instead of the status line until the next key
  Typing typing;            // a number being typed on the status line, and its text
  std::string typed;
  bool help;                // the help overlay is up
  PixelFormat format;       // of the pixels
  bool zoomChosen;          // the user chose the zoom: a new size keeps it
  PaletteChoice palette;    // an indexed format's colours; the loop loads them
  bool pointing = false;    // a pixel is pointed at, by the mouse or the keyboard cursor,
  int pointColumn = 0;      // in this cell
  int pointRow = 0;
  bool cursor = false;      // the keyboard cursor is on: the arrows and hjkl move it
  std::uint32_t panX = 0;   // image pixels left out on the left and at the top of
  std::uint32_t panY = 0;   // each image, where one is larger than the screen
  std::uint64_t lastClick = 0;  // when the last left click came, and where, for a double click
  int lastClickColumn = -1;
  int lastClickRow = -1;
  bool png = false;                // saves are PNG, not BMP (t)
  std::vector<Place> earlier = {};  // where the view was before each jump, the last one last (u)
  std::vector<Place> later = {};    // where u came from, the last one last (U)
  bool inStream = false;            // showing the decoded bytes of the stream (c) at
  std::uint64_t streamOffset = 0;   // this ROM offset; romLength is then theirs
  std::string streamName = {};      // its type and size, for the status line
  std::string paletteRank = {};     // "palette 2 of 6293" while the palette is one n found
};

// Where the view is now.
Place placeOf(const View& view);

// Keeps `before` as the place to go back to, once a jump has left it: a
// typed offset, size, format, zoom or palette, or a click that moved the
// view. Nothing when the view did not move.
void rememberJump(View& view, const Place& before);

// The pixel in a cell: which image shown (from 0, left to right, then top
// to bottom), its x and y, and where its image and its bytes start (a
// tile's, in tiled formats). Not `valid` between or beside the images.
struct PointedPixel {
  bool valid;
  std::uint64_t image;
  std::uint32_t x;
  std::uint32_t y;
  std::uint64_t imageStart;
  std::uint64_t offset;
};

PointedPixel pixelAt(const View& view, int column, int row);

// Two left clicks on one cell within this long are a double click.
constexpr std::uint64_t kDoubleClickMilliseconds = 400;

// The image pixels shown across (or down) from panX (panY): all of them
// where the image fits.
std::uint32_t shownPixelsAcross(const View& view);

// A pan no larger than the image leaves to see, after the screen changed.
void keepPanInside(View& view);
std::uint32_t shownPixelsDown(const View& view);

// The rows below the images: the status line, and above it, for indexed
// formats, the palette's colours.
int statusRows(const View& view);

// Where the images go: each image's size in pixels and in cells, and how
// many fit across and down above the status line, one blank cell between
// neighbours (at least one, cut at the edges, when one does not fit whole).
struct Layout {
  int imagePixelColumns;
  int imagePixelRows;
  int imageColumns;
  int imageRows;
  int across;
  int down;
};

Layout layoutOf(const View& view);

// The largest zoom at which one whole image fits above the status line.
int fittingZoom(const View& view);

// A view of the ROM from `offset` at the zoom that fits, drawn in `graphics`
// with cells of `cellWidth` x `cellHeight` pixels (1 x 2 for half blocks).
View startView(std::uint64_t romLength, std::uint64_t offset, std::int32_t width, std::int32_t height,
               std::int32_t imageCount, int columns, int rows, GraphicsMode graphics = GraphicsMode::blocks,
               int cellWidth = 1, int cellHeight = 2, const PixelFormat& format = defaultFormat(),
               const PaletteChoice& palette = {});

// The formats `m` steps through, in turn.
extern const char* const kFormatRing[];
extern const int kFormatRingLength;

enum class Action {
  none,       // the view changed, or not: draw it
  save,       // save imageCount images from the offset
  saveShown,  // save every image shown
  redraw,     // draw everything again, not only what changed
  toggleStream,    // decode the stream at the offset, or go back to the ROM's bytes
  nextStream,      // jump to the next stream a scan finds
  previousStream,  // or the one before
  toggleMap,       // the pictures drawn from the maps, or the bare tiles
  nextPalette,     // the best palette for the picture not yet shown (n)
  previousPalette, // the one shown before it (N)
  pointPalette,    // a click on the palette's strip, at pointColumn
  leave,
};

// What a key does: moves, resizes, zooms, types, or asks for an action.
Action applyKey(View& view, const KeyPress& press);

// The bytes of one image, and of every image shown.
std::uint64_t imageBytes(const View& view);
std::uint64_t shownBytes(const View& view);

// The last line: the ROM's name, the offset in hex and decimal, the ROM's
// size, WIDTHxHEIGHT and the format, the zoom and "? help"; or the message,
// or what is being typed.
std::string statusText(const View& view, const std::string& romName);

// The palette as the status line names it.
std::string paletteStatus(const PaletteChoice& palette);

// The palette index the strip shows in `column`.
std::uint32_t paletteIndexAt(const View& view, int column);


// The lines of the help overlay: "Keys", a line for each key or group of
// keys of each mode, drawn from the keys' own rows, then a blank line and
// how to close it.
std::vector<std::string> helpLines();

// The keys' lines of the help, one after the other: --list-keys and the man
// page show them.
std::string keyListText();

}  // namespace velloran
