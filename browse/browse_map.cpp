// The live view of pictures drawn from tilemaps (--map): the pictures from
// the view's offset (their tiles) and consecutive maps, drawn as any images;
// `a` shows the bare tiles and back; the pointer names the entry under it.
#include <cinttypes>
#include <cstdio>

#include "browse/browse_parts.h"
#include "browse/frame.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {
namespace browse_parts {

namespace {


// The pictures shown, as many as fit, or as many maps as there are.
bool drawPictures(Session& session, MapPictures& pictures) {
  const View& view = session.view;
  const Layout layout = layoutOf(view);
  const auto shown = static_cast<std::uint32_t>(std::max(1, layout.across * layout.down));
  const auto width = static_cast<std::uint32_t>(view.width);
  const auto height = static_cast<std::uint32_t>(view.height);
  for (const std::uint32_t count : {shown, 1u}) {
    if (drawMapPictures(session.rom, session.maps.map, view.format, view.offset, width, height, count, pictures)) return true;
  }
  return false;
}

// What the pointer is on: the entry, its place and what it says.
std::string entryText(const Session& session, const MapPictures& pictures) {
  const View& view = session.view;
  const PointedPixel pixel = pixelAt(view, view.pointColumn, view.pointRow);
  const std::uint64_t picture = pixel.image;
  if (!pixel.valid || picture >= pictures.maps.size() / std::max<std::uint64_t>(1, pictures.mapBytes)) return "";
  const MapChoice& map = session.maps.map;
  const std::uint64_t index = mapEntryIndex(map.order, static_cast<std::uint32_t>(view.width) / kTileSide,
                                            pixel.x / kTileSide, pixel.y / kTileSide);
  const std::uint64_t at = picture * pictures.mapBytes + index * map.format.wordBytes;
  const MapEntry entry = mapEntryAt(map.format, pictures.maps.data() + at);
  // Where the entry is: in the ROM or the file, or in the decoded stream.
  const std::string where = map.compression == Compression::none ? offsetText(map.offset + at) : "decoded " + offsetText(at);
  char text[200];
  std::snprintf(text, sizeof text, "map entry %s  tile %u%s%s  bank %u  picture %" PRIu64 "  x %u, y %u",
                where.c_str(), entry.tile, entry.flipX ? "  h" : "", entry.flipY ? "  v" : "", entry.bank, picture,
                pixel.x, pixel.y);
  return text;
}

// The status line of the view with the map named before its help.
std::string mapStatus(const Session& session, const MapPictures& pictures) {
  const View& view = session.view;
  if (view.typing != Typing::nothing || !view.message.empty()) return statusText(view, session.romName);
  if (view.pointing) {
    const std::string entry = entryText(session, pictures);
    if (!entry.empty()) return entry;
  }
  std::string status = statusText(view, session.romName);
  const std::string help = "  ? help";
  const std::string named = "  map " + mapText(session.maps.map) + (session.maps.map.format.name != defaultMapFormat().name
                                                                   ? " " + session.maps.map.format.name : "");
  status.insert(status.size() >= help.size() ? status.size() - help.size() : status.size(), named);
  return status;
}

}  // namespace

bool startMap(Session& session, std::string& problem) {
  MapPictures pictures;
  session.maps.shown = true;
  if (drawPictures(session, pictures)) return true;
  problem = pictures.problem;
  return false;
}

Frame mapFrame(Session& session) {
  View& view = session.view;
  MapPictures pictures;
  if (!drawPictures(session, pictures)) {
    // The tiles stay; what the map needs is said.
    session.maps.shown = false;
    view.message = pictures.problem;
    return drawView(view, session.decoder, viewBytes(session), session.romName);
  }
  const unsigned bits = mapPictureBits(session.maps.map, view.format);
  LoadedPalette loaded;
  if (!loadPalette(view.palette, bits, session.rom, session.romLength, loaded)) loaded.colours = greyRamp(bits);
  View shown = view;
  shown.format = pictures.format;
  shown.offset = 0;
  shown.romLength = pictures.bytes.size();
  shown.message = mapStatus(session, pictures);
  shown.typing = Typing::nothing;
  shown.pointing = view.pointing && view.cursor;  // the cursor's mark stays
  return drawView(shown, makeDecoder(pictures.format, true, loaded.colours),
                  bytesInMemory(pictures.bytes.data(), pictures.bytes.size()), session.romName);
}

void toggleMap(Session& session) {
  View& view = session.view;
  if (!session.maps.map.given) {
    view.message = textOf(Text::noMap);
    return;
  }
  if (view.inStream) {
    view.message = textOf(Text::mapNotInStream);
    return;
  }
  session.maps.shown = !session.maps.shown;
}

}  // namespace browse_parts
}  // namespace velloran
