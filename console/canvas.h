// How a full-screen view reaches the terminal: one canvas per protocol
// (half blocks in text cells, sixel, kitty), chosen once from the graphics
// mode. Its callers draw through it and never ask which it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/graphics.h"
#include "console/screen.h"

namespace velloran {

// An image the terminal draws in pixels (sixel, kitty), with its top-left cell.
struct ShownImage {
  int left;
  int top;
  RgbImage image;       // its pixels on screen, unzoomed
  std::uint32_t zoom;   // each pixel drawn zoom x zoom times
};

// The cells, and for a canvas in pixels the images that go over them.
struct Frame {
  Screen screen;
  std::vector<ShownImage> images;
};

// What a canvas keeps between frames: the screen the terminal shows (text
// cells) or the images it holds (kitty).
struct CanvasState {
  Screen shown = blankScreen(0, 0);
  bool wholeNext = true;                 // the next frame redraws every cell
  std::vector<std::uint32_t> imageIds;  // kitty: the images on screen
};

struct Canvas {
  // Images are drawn in the terminal's pixels, over the cells; else in the
  // cells themselves, two pixel rows a cell.
  bool inPixels;
  // The widest or tallest image it draws, zoomed (0: no limit).
  std::int64_t largestSide;
  // The frame as text: what changed since the last one, or all of it;
  // `textFromRow` is the first row of text to draw over the images.
  std::string (*frameText)(CanvasState& state, const Frame& frame, int textFromRow);
  // What gives the terminal back: the images it holds removed, then the
  // main screen, the cursor and the modes as they were.
  std::string (*leaveText)(CanvasState& state);
  // The same, a constant, for a crash or a second stop request.
  const char* crashLeaveText;
};

const Canvas& canvasOf(GraphicsMode mode);

}  // namespace velloran
