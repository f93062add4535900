#include "console/canvas.h"

namespace velloran {

namespace {

// Kitty images get an id for their place on the screen, from this one on.
constexpr std::uint32_t kFirstKittyId = 1000;

std::string cellFrameText(CanvasState& state, const Frame& frame, int) {
  std::string text = frameText(frame.screen, state.wholeNext ? nullptr : &state.shown);
  state.shown = frame.screen;
  state.wholeNext = false;
  return text;
}

// Everything drawn anew: the images over an erased screen, then the text.
std::string pixelFrameText(const Frame& frame, int textFromRow, std::string removed,
                           std::string (*imageText)(const ShownImage&, std::size_t index)) {
  std::string text = kFrameStart + removed + kEraseScreen;
  for (std::size_t index = 0; index < frame.images.size(); ++index) {
    const ShownImage& shown = frame.images[index];
    if (shown.image.width == 0 || shown.image.height == 0) continue;
    text += cursorTo(shown.left, shown.top) + imageText(shown, index);
  }
  return text + rowsText(frame.screen, textFromRow, frame.screen.rows) + kFrameEnd;
}

std::string sixelImage(const ShownImage& shown, std::size_t) {
  return sixelText(shown.image, shown.zoom);
}

std::string sixelFrameText(CanvasState&, const Frame& frame, int textFromRow) {
  return pixelFrameText(frame, textFromRow, "", sixelImage);
}

std::uint32_t kittyIdOf(std::size_t index) {
  return kFirstKittyId + static_cast<std::uint32_t>(index);
}

std::string kittyImage(const ShownImage& shown, std::size_t index) {
  return kittyText(shown.image, shown.zoom, kittyIdOf(index));
}

// Kitty keeps its images past an erase: the last frame's are deleted.
std::string kittyRemoved(CanvasState& state) {
  std::string text;
  for (const std::uint32_t id : state.imageIds) text += kittyDelete(id);
  state.imageIds.clear();
  return text;
}

std::string kittyFrameText(CanvasState& state, const Frame& frame, int textFromRow) {
  const std::string removed = kittyRemoved(state);
  for (std::size_t index = 0; index < frame.images.size(); ++index) {
    if (frame.images[index].image.width != 0 && frame.images[index].image.height != 0) {
      state.imageIds.push_back(kittyIdOf(index));
    }
  }
  return pixelFrameText(frame, textFromRow, removed, kittyImage);
}

std::string plainLeaveText(CanvasState&) {
  return kLeaveFullScreen;
}

std::string kittyLeaveText(CanvasState& state) {
  return kittyRemoved(state) + kLeaveFullScreen;
}

// xterm draws no sixel image wider or taller than this (maxGraphicSize).
constexpr std::int64_t kLargestSixelSide = 1000;

const std::string& kittyCrashLeaveText() {
  static const std::string text = kittyDeleteAll() + kLeaveFullScreen;
  return text;
}

}  // namespace

const Canvas& canvasOf(GraphicsMode mode) {
  static const Canvas kBlocks{false, 0, cellFrameText, plainLeaveText, kLeaveFullScreen};
  static const Canvas kSixel{true, kLargestSixelSide, sixelFrameText, plainLeaveText, kLeaveFullScreen};
  static const Canvas kKitty{true, 0, kittyFrameText, kittyLeaveText, kittyCrashLeaveText().c_str()};
  switch (mode) {
    case GraphicsMode::sixel:
      return kSixel;
    case GraphicsMode::kitty:
      return kKitty;
    case GraphicsMode::blocks:
      break;
  }
  return kBlocks;
}

}  // namespace velloran
