// Where the view was before each jump, to go back to (u) and forth again
// (U), as a browser's history does; and the file type of its saves (t).
#include <algorithm>

#include "browse/view.h"
#include "browse/view_parts.h"
#include "texts/texts.h"

namespace velloran {

namespace {

bool samePlace(const Place& one, const Place& other) {
  return one.offset == other.offset && one.width == other.width && one.height == other.height &&
         one.format.name == other.format.name && one.zoom == other.zoom && one.palette.source == other.palette.source &&
         one.palette.bank == other.palette.bank && one.palette.format.name == other.palette.format.name &&
         one.inStream == other.inStream && one.streamOffset == other.streamOffset;
}

void keep(std::vector<Place>& places, const Place& place) {
  if (places.size() == kPlacesKept) places.erase(places.begin());
  places.push_back(place);
}

// The view at `place`, within the ROM as it is now. Into or out of a
// stream, the loop decodes it and keeps the offset inside.
void moveTo(View& view, const Place& place) {
  const bool sameBytes = place.inStream == view.inStream && place.streamOffset == view.streamOffset;
  view.offset = !sameBytes ? place.offset : view.romLength == 0 ? 0 : std::min(place.offset, view.romLength - 1);
  view.inStream = place.inStream;
  view.streamOffset = place.streamOffset;
  view.width = place.width;
  view.height = place.height;
  view.format = place.format;
  view.zoom = place.zoom;
  view.zoomChosen = place.zoomChosen;
  view.palette = place.palette;
  view.pointing = false;
  view.panX = 0;
  view.panY = 0;
}

// Takes the last place of `from`, keeping where the view is in `to`.
bool step(View& view, std::vector<Place>& from, std::vector<Place>& to) {
  if (from.empty()) return false;
  keep(to, placeOf(view));
  moveTo(view, from.back());
  from.pop_back();
  return true;
}

}  // namespace

Place placeOf(const View& view) {
  return Place{view.offset, view.width,   view.height,   view.format,      view.zoom,
               view.zoomChosen, view.palette, view.inStream, view.streamOffset};
}

void rememberJump(View& view, const Place& before) {
  if (samePlace(before, placeOf(view))) return;
  keep(view.earlier, before);
  view.later.clear();
}

namespace view_parts {

void goBack(View& view) {
  if (!step(view, view.earlier, view.later)) view.message = textOf(Text::noEarlierPlace);
}

void goForward(View& view) {
  if (!step(view, view.later, view.earlier)) view.message = textOf(Text::noLaterPlace);
}

void switchFileType(View& view) {
  view.png = !view.png;
  view.message = textOf(view.png ? Text::savesPng : Text::savesBmp);
}

}  // namespace view_parts

}  // namespace velloran
