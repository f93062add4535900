#include "console/preview.h"

#include <algorithm>
#include <cstdio>

#include "console/console_output.h"
#include "platform/platform.h"
#include "texts/texts.h"

namespace velloran {

namespace {


// Off a terminal, or when it does not tell its size, a picture is at most
// this many characters wide and lines high.
constexpr std::uint32_t kDefaultPictureColumns = 80;
constexpr std::uint32_t kDefaultPictureLines = 24;
// Terminal lines a picture leaves free: its Opening line and the next one.
constexpr int kLinesBesidePicture = 2;

}  // namespace

Preview startPreview(bool asked, std::uint32_t columnsAsked, GraphicsChoice graphics) {
  Preview preview{false, {kDefaultPictureColumns, kDefaultPictureLines},
                  {GraphicsMode::blocks, kDefaultCellWidth, kDefaultCellHeight}};
  if (!asked) return preview;
  if (!enableColourOutput()) {
    sayError(textOf(Text::noPictures));
    return preview;
  }
  int columns = 0;
  int rows = 0;
  if (terminalRoom(columns, rows)) {
    preview.bounds.columns = static_cast<std::uint32_t>(columns);
    preview.bounds.lines = static_cast<std::uint32_t>(std::max(1, rows - kLinesBesidePicture));
  }
  if (columnsAsked != 0) preview.bounds.columns = columnsAsked;
  preview.graphics = findTerminalGraphics(graphics);
  boundCellPixels(static_cast<int>(preview.bounds.columns), static_cast<int>(preview.bounds.lines),
                  preview.graphics.cellWidth, preview.graphics.cellHeight);
  preview.on = true;
  return preview;
}

namespace {

// The room in pixels, for a terminal that draws them.
PictureBounds pixelRoom(const Preview& preview) {
  const auto cellWidth = static_cast<std::uint32_t>(preview.graphics.cellWidth);
  const auto cellHeight = static_cast<std::uint32_t>(preview.graphics.cellHeight);
  // PictureBounds counts lines of two pixel rows.
  return PictureBounds{preview.bounds.columns * cellWidth, preview.bounds.lines * cellHeight / 2};
}

}  // namespace

PictureBuilder startPreviewPicture(const Preview& preview, const PixelDecoder& decoder, std::uint32_t width,
                                   std::uint32_t height) {
  if (preview.graphics.mode == GraphicsMode::blocks) return startPicture(decoder, width, height, preview.bounds);
  return startPicture(decoder, width, height, pixelRoom(preview), true);
}

std::string previewPictureText(const Preview& preview, PictureBuilder& picture) {
  if (preview.graphics.mode == GraphicsMode::blocks) return finishPicture(picture);
  const RgbImage image = finishPictureImage(picture);
  if (image.width == 0 || image.height == 0) return "";
  const PictureBounds room = pixelRoom(preview);
  std::uint32_t zoom = 1;
  while (zoom < kLargestPreviewZoom && image.width * (zoom + 1) <= room.columns &&
         image.height * (zoom + 1) <= 2 * room.lines) {
    ++zoom;
  }
  return "\n" + (preview.graphics.mode == GraphicsMode::kitty ? kittyText(image, zoom, 0) : sixelText(image, zoom));
}

}  // namespace velloran
