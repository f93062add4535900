// What the live view's loop and its saves share, and nothing else
// includes: the session of a view, and the steps one file takes that the
// other needs. The interface is browse.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "browse/view.h"
#include "console/canvas.h"
#include "console/screen.h"
#include "dump/dump.h"
#include "pixels/image_rows.h"
#include "pixels/palette_rank.h"
#include "pixels/pixel_decoder.h"
#include "platform/platform.h"
#include "streams/stream_scan.h"

namespace velloran {
namespace browse_parts {

// The tilemaps (--map), and whether their pictures are shown or the bare
// tiles (a). Made empty.
struct MapView {
  MapView() {}
  MapChoice map;
  bool shown = false;
};

// n and N: the ROM's palettes ranked for the picture shown, how many of them
// were shown, and the one shown last. Made empty.
struct PaletteSearch {
  PaletteSearch() {}
  std::vector<std::uint64_t> candidates;
  std::string candidatesFor;
  std::vector<RankedPalette> ranked;
  std::string rankedFor;
  std::size_t rankShown = 0;
  PaletteChoice rankedChoice;
};

// The view and what it has to answer for when it ends.
struct Session {
  const FileHandle& rom;
  const DumpRequest& request;
  std::string romName;  // the ROM's file name, for the status line
  View view;
  PixelDecoder decoder;    // for view.format and the palette
  PaletteChoice loaded;    // the palette the decoder has, and its colours
  Palette paletteColours;
  unsigned paletteBits = 0;
  std::string transcript;  // what the saves printed
  bool saveFailed = false;
  CanvasState canvas;      // what the terminal shows now
  std::uint64_t romLength = 0;  // the ROM file's, followed as it changes
  // The stream the view is in (view.inStream), decoded: at streamAt.
  std::vector<unsigned char> streamBytes = {};
  bool streamOpen = false;
  std::uint64_t streamAt = 0;
  Compression streamCompression = Compression::none;
  // What d and D step through: the scan's streams, found at the first press.
  std::vector<FoundStream> streams = {};
  bool scanned = false;
  MapView maps = {};  // --map
  PaletteSearch palettes = {};  // n and N
  // The whole ROM, read at the first d, D or n (wholeRom) and again when its length changed.
  std::vector<unsigned char> wholeRom = {};
};

// browse.cpp: the view drawn, its palette and the ROM's length followed.
void draw(Session& session);

// browse_streams.cpp: the stream at `offset` decoded for the view, as
// `asked` allows; false, with its problem, when it is not one.
bool openStream(Session& session, std::uint64_t offset, Compression asked, std::string& problem);

// The view's bytes (the ROM's, or the stream's it is in) made the session's,
// and its length the view's.
void followStream(Session& session);

// c, d and D.
void toggleStream(Session& session);
void jumpToStream(Session& session, bool forward);

// What the view reads its images from.
ByteSource viewBytes(const Session& session);

// The whole ROM in memory, for the scan and the palettes' ranking; false
// when it could not be read.
bool readWholeRom(Session& session);

// browse_map.cpp: the pictures of the view's maps shown from the start;
// false, with the problem, when they cannot be drawn.
bool startMap(Session& session, std::string& problem);

// The frame of the pictures drawn from the maps; the bare tiles, with the
// problem on the status line, when they cannot be drawn.
Frame mapFrame(Session& session);

// a: the pictures, or the bare tiles.
void toggleMap(Session& session);

// browse_palettes.cpp: n (forward) and N.
void stepPalettes(Session& session, bool forward);

// The rank leaves the status line once the palette is another.
void followPaletteRank(Session& session);

// A click on the strip: the colour's index and value on the status line.
void sayPaletteColour(Session& session);

// browse_save.cpp: the request that dumps the view's `count` images from its
// offset, and a save of them through the dump, said on the status line.
DumpRequest requestFor(const Session& session, std::int32_t count);
void save(Session& session, std::int32_t count);

}  // namespace browse_parts
}  // namespace velloran
