#include "console/preview.h"

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

namespace velloran {

namespace {

constexpr const char* kNoPictures = "velloran: this terminal cannot show pictures; --preview draws none\n";

// Off a terminal, or when it does not tell its size, a picture is at most
// this many characters wide and lines high.
constexpr std::uint32_t kDefaultPictureColumns = 80;
constexpr std::uint32_t kDefaultPictureLines = 24;
// Terminal lines a picture leaves free: its Opening line and the next one.
constexpr int kLinesBesidePicture = 2;
// However large a terminal says it is, a picture's text stays within
// 1000 x 1000 cells, 41 MB.
constexpr std::uint32_t kMaxPictureLines = 1000;

}  // namespace

Preview startPreview(bool asked, std::uint32_t columnsAsked) {
  Preview preview{false, {kDefaultPictureColumns, kDefaultPictureLines}};
  if (!asked) return preview;
  if (!enableColourOutput()) {
    std::fputs(kNoPictures, stderr);
    return preview;
  }
  int columns = 0;
  int rows = 0;
  if (terminalSize(columns, rows)) {
    preview.bounds.columns = std::min(static_cast<std::uint32_t>(columns), kMaxPreviewColumns);
    preview.bounds.lines =
        std::min(static_cast<std::uint32_t>(std::max(1, rows - kLinesBesidePicture)), kMaxPictureLines);
  }
  if (columnsAsked != 0) preview.bounds.columns = columnsAsked;
  preview.on = true;
  return preview;
}

}  // namespace velloran
