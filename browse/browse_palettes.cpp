// The live view's palettes found for the picture: n sets the best palette
// not yet shown, N the one before; a click on the strip names a colour.
#include <algorithm>
#include <cstdio>

#include "browse/browse_parts.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {
namespace browse_parts {

namespace {

// What the ranking depends on: the picture shown and the palettes' layout.
std::string pictureKey(const Session& session) {
  const View& view = session.view;
  const Layout layout = layoutOf(view);
  return std::to_string(view.offset) + " " + std::to_string(view.width) + "x" + std::to_string(view.height) + " " +
         view.format.name + " " + std::to_string(layout.across * layout.down) + " " + view.palette.format.name +
         (view.inStream ? " stream " + std::to_string(view.streamOffset) : "");
}

// The picture's indices: the images shown, from the bytes the view reads.
PictureIndices shownPicture(const Session& session) {
  const View& view = session.view;
  const Layout layout = layoutOf(view);
  PictureIndices picture = startPictureIndices(view.format.indexBits);
  const auto width = static_cast<std::uint32_t>(view.width);
  const auto height = static_cast<std::uint32_t>(view.height);
  const std::uint64_t bytes = imageBytes(view);
  std::vector<unsigned char> raw(static_cast<std::size_t>(bytes));
  std::vector<unsigned char> indices(std::size_t{width} * height);
  const ByteSource source = viewBytes(session);
  for (int image = 0; image < std::max(1, layout.across * layout.down); ++image) {
    const std::uint64_t at = view.offset + static_cast<std::uint64_t>(image) * bytes;
    if (at >= view.romLength) break;
    readImageRows(source, view.format, at, width, height, raw.data(), indices.data());
    addPictureIndices(picture, indices.data(), width, height);
  }
  return picture;
}

// The ranking for the picture shown, made again when the picture changed.
void rankForPicture(Session& session) {
  View& view = session.view;
  const std::string key = pictureKey(session);
  if (key == session.palettes.rankedFor) return;
  readWholeRom(session);
  // Found again for another layout, or a ROM that changed its length.
  const std::string layout = view.palette.format.name + " " + std::to_string(view.format.indexBits) + " " +
                             std::to_string(session.wholeRom.size());
  if (layout != session.palettes.candidatesFor) {
    session.palettes.candidates = findPaletteCandidates(session.wholeRom.data(), session.wholeRom.size(),
                                                        view.palette.format, view.format.indexBits);
    session.palettes.candidatesFor = layout;
  }
  // The picture's own bytes are no palette of it.
  const std::uint64_t from = view.inStream ? 0 : view.offset;
  const std::uint64_t to = view.inStream ? 0 : view.offset + shownBytes(view);
  session.palettes.ranked = rankPalettes(session.wholeRom.data(), session.wholeRom.size(), view.palette.format,
                                         session.palettes.candidates, shownPicture(session), from, to);
  session.palettes.rankedFor = key;
  session.palettes.rankShown = 0;
}

// Sets the `rank`-th palette (from 1), as a bank of its table.
void showRanked(Session& session, std::size_t rank) {
  View& view = session.view;
  const RankedPalette& palette = session.palettes.ranked[rank - 1];
  const Place before = placeOf(view);
  setPaletteOffset(view.palette, palette.tableStart);
  view.palette.bank = palette.bank;
  rememberJump(view, before);
  session.palettes.rankedChoice = view.palette;
  view.paletteRank = "palette " + std::to_string(rank) + " of " + std::to_string(session.palettes.ranked.size());
  // Said whole once, where a narrow status line would cut the rank off.
  view.message = "Palette " + offsetText(palette.tableStart) + " bank " + std::to_string(palette.bank) + ": " +
                 std::to_string(rank) + " of " + std::to_string(session.palettes.ranked.size()) + " (n: next, N: back).";
}

}  // namespace

void stepPalettes(Session& session, bool forward) {
  View& view = session.view;
  if (!isIndexed(view.format)) {
    view.message = textOf(Text::paletteForIndexed);
    return;
  }
  rankForPicture(session);
  if (session.palettes.ranked.empty()) {
    view.message = textOf(Text::noPaletteFound);
    return;
  }
  if (forward) {
    if (session.palettes.rankShown >= session.palettes.ranked.size()) {
      view.message = textOf(Text::noMorePalettes);
      return;
    }
    showRanked(session, ++session.palettes.rankShown);
    return;
  }
  if (session.palettes.rankShown <= 1) {
    view.message = textOf(Text::bestPaletteShown);
    return;
  }
  showRanked(session, --session.palettes.rankShown);
}

void followPaletteRank(Session& session) {
  View& view = session.view;
  const PaletteChoice& shown = view.palette;
  const PaletteChoice& found = session.palettes.rankedChoice;
  const bool same = shown.source == found.source && shown.bank == found.bank && shown.format.name == found.format.name;
  if (!same) view.paletteRank.clear();
}

void sayPaletteColour(Session& session) {
  View& view = session.view;
  const std::uint32_t index = paletteIndexAt(view, view.pointColumn);
  const std::uint32_t colour = session.decoder.colourOfWord[index];
  const unsigned red = (colour >> 16) & 0xFF;
  const unsigned green = (colour >> 8) & 0xFF;
  const unsigned blue = colour & 0xFF;
  char text[120];
  std::snprintf(text, sizeof text, "Colour %u: 0x%04X (red %u, green %u, blue %u of 31).", index,
                (blue >> 3) << 10 | (green >> 3) << 5 | red >> 3, red >> 3, green >> 3, blue >> 3);
  view.message = text;
}

}  // namespace browse_parts
}  // namespace velloran
