// What the view's files share, and nothing else includes: the steps one
// file's keys take and another's need. The interface is view.h.
#pragma once

#include <cstdint>

#include "browse/view.h"
#include "console/keys.h"

namespace velloran {
namespace view_parts {

// view.cpp: moves, sizes and zooms.
void nextRow(View& view);
void previousRow(View& view);
void resize(View& view, std::int32_t width, std::int32_t height);
int largestZoomOut(const View& view);
int largestZoomIn(const View& view);
void takeFormat(View& view, const PixelFormat& format);

// view_pointing.cpp: the pan, the mouse and the keyboard cursor.
void clampPan(View& view);
void panBy(View& view, int across, int down);
Action applyMouse(View& view, const KeyPress& press);
bool applyCursorKey(View& view, const KeyPress& press);
void showCursor(View& view);

// view_typing.cpp: a key while something is typed on the status line.
void applyTypingKey(View& view, const KeyPress& press);

// view_history.cpp: back and forth between the places jumps left.
void goBack(View& view);
void goForward(View& view);
void switchFileType(View& view);

}  // namespace view_parts
}  // namespace velloran
