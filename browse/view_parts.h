// What the view's files share, and nothing else includes: the changes its
// keys make (view_keys.cpp binds them) and the steps one file takes that
// another needs. The interface is view.h.
#pragma once

#include <cstdint>

#include "browse/view.h"
#include "console/keys.h"

namespace velloran {
namespace view_parts {

// view_moves.cpp: moves, sizes, zooms, the format and the palette.
void nextPixel(View& view);
void previousPixel(View& view);
void nextRow(View& view);
void previousRow(View& view);
void nextImage(View& view);
void previousImage(View& view);
void nextScreen(View& view);
void previousScreen(View& view);
void nextByte(View& view);
void previousByte(View& view);
void romStart(View& view);
void romEnd(View& view);
void wider(View& view);
void narrower(View& view);
void taller(View& view);
void shorter(View& view);
void tileWider(View& view);
void tileNarrower(View& view);
void doubleWidth(View& view);
void halveWidth(View& view);
void zoomIn(View& view);
void zoomOut(View& view);
void zoomToFit(View& view);
void typeOffset(View& view);
void typeWidth(View& view);
void typeHeight(View& view);
void typeFormat(View& view);
void typeZoom(View& view);
void typePalette(View& view);
void nextFormat(View& view);
void greyPalette(View& view);
void paletteOn(View& view);
void paletteBack(View& view);
void nextBank(View& view);
void previousBank(View& view);
void showHelp(View& view);
void resize(View& view, std::int32_t width, std::int32_t height);
int largestZoomOut(const View& view);
int largestZoomIn(const View& view);
void takeFormat(View& view, const PixelFormat& format);

// view_pointing.cpp: the pan, the mouse and the keyboard cursor.
void clampPan(View& view);
void panBy(View& view, int across, int down);
void panRight(View& view);
void panLeft(View& view);
void panDown(View& view);
void panUp(View& view);
Action applyMouse(View& view, const KeyPress& press);
void showCursor(View& view);
void hideCursor(View& view);
void cursorRight(View& view);
void cursorLeft(View& view);
void cursorDown(View& view);
void cursorUp(View& view);
void pickImage(View& view);
void pickPixel(View& view);

// view_typing.cpp: what is typed on the status line.
void takeTyped(View& view);
void cancelTyping(View& view);
void eraseTyped(View& view);
void typeCharacter(View& view, const KeyPress& press);

// view_history.cpp: back and forth between the places jumps left.
void goBack(View& view);
void goForward(View& view);
void switchFileType(View& view);

}  // namespace view_parts
}  // namespace velloran
