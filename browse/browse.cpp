#include "browse/browse.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <new>

#include "browse/browse_parts.h"
#include "browse/frame.h"
#include "browse/view.h"
#include "console/console_output.h"
#include "console/keys.h"
#include "console/graphics.h"
#include "console/screen.h"
#include "texts/texts.h"

namespace velloran {

using namespace browse_parts;

namespace {

constexpr int kDefaultColumns = 80;
constexpr int kDefaultRows = 24;


// Takes the terminal: keys one by one, then the alternate screen.
bool takeTerminal(GraphicsMode graphics) {
  if (!enterKeyMode(canvasOf(graphics).crashLeaveText)) return false;
  sayAtOnce(kEnterFullScreen);
  return true;
}

// Gives it back as it was, even after a stop request: a frame a stop cut
// short is finished first, so that the leaving text is not taken into one
// of its sequences, and a terminal that is slow to read still gets it all.
void giveTerminalBack(Session& session) {
  sayToTheEnd(canvasOf(session.view.graphics).leaveText(session.canvas));
  leaveKeyMode();
}

// The ROM may have grown or shrunk since it was last looked at.
void followRomLength(Session& session) {
  std::uint64_t length = 0;
  if (fileLength(session.rom, length)) session.romLength = length;
  followStream(session);
}

bool samePalette(const PaletteChoice& one, const PaletteChoice& other) {
  return one.source == other.source && one.bank == other.bank && one.format.name == other.format.name;
}

// The view's palette for its format, loaded when either changed; one that
// cannot be loaded leaves the one before, and says why.
void followPalette(Session& session) {
  View& view = session.view;
  if (!isIndexed(view.format)) return;
  if (samePalette(view.palette, session.loaded) && session.paletteBits == view.format.indexBits) return;
  LoadedPalette loaded;
  if (!loadPalette(view.palette, view.format.indexBits, session.rom, session.romLength, loaded)) {
    view.message = loaded.problem;
    view.palette = session.loaded;
    if (session.paletteBits == view.format.indexBits) return;
    loadPalette(PaletteChoice{}, view.format.indexBits, session.rom, session.romLength, loaded);
    view.palette = PaletteChoice{};
  }
  const std::string shortOf = shortPaletteText(loaded, view.format.indexBits);
  if (!shortOf.empty() && view.message.empty()) {
    view.message = shortOf + ".";
    view.message[0] = 'T';  // a sentence of its own on the status line
  }
  session.loaded = view.palette;
  session.paletteColours = std::move(loaded.colours);
  session.paletteBits = view.format.indexBits;
  session.decoder = makeDecoder(view.format, true, session.paletteColours);
}

}  // namespace

void browse_parts::draw(Session& session) {
  followRomLength(session);
  followPalette(session);
  followPaletteRank(session);
  keepPanInside(session.view);
  if (session.decoder.format.name != session.view.format.name) {
    session.decoder = makeDecoder(session.view.format, true, session.paletteColours);
  }
  const Frame frame = session.maps.shown ? mapFrame(session)
                                       : drawView(session.view, session.decoder, viewBytes(session), session.romName);
  // Over images in pixels, the status line is drawn again; the help alone when it is up.
  const int textFromRow = session.view.help ? 0 : session.view.rows - statusRows(session.view);
  sayAtOnce(canvasOf(session.view.graphics).frameText(session.canvas, frame, textFromRow));
}

namespace {

void followTerminalSize(View& view) {
  int columns = kDefaultColumns;
  int rows = kDefaultRows;
  terminalRoom(columns, rows);
  view.columns = columns;
  view.rows = rows;
  if (!canvasOf(view.graphics).inPixels) return;
  // A new font size changes the cells' pixels, where the terminal tells them.
  terminalCellSize(view.cellWidth, view.cellHeight);
  boundCellPixels(columns, rows, view.cellWidth, view.cellHeight);
}


enum class KeysDone { none, applied, leave };

// Applies every key that has arrived.
KeysDone applyKeys(Session& session, KeyDecoder& decoder, bool waitedLongEnough) {
  KeyPress press{};
  KeysDone done = KeysDone::none;
  while (nextKey(decoder, waitedLongEnough, press)) {
    done = KeysDone::applied;
    press.milliseconds = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                        std::chrono::steady_clock::now().time_since_epoch())
                                                        .count());
    switch (applyKey(session.view, press)) {
      case Action::leave:
        return KeysDone::leave;
      case Action::save:
        save(session, session.view.imageCount);
        break;
      case Action::saveShown: {
        const Layout layout = layoutOf(session.view);
        save(session, layout.across * layout.down);
        break;
      }
      case Action::redraw:
        session.canvas.wholeNext = true;
        break;
      case Action::toggleStream:
        if (session.maps.shown) {
          session.view.message = textOf(Text::mapNotInStream);
          break;
        }
        toggleStream(session);
        break;
      case Action::toggleMap:
        toggleMap(session);
        break;
      case Action::nextPalette:
        stepPalettes(session, true);
        break;
      case Action::previousPalette:
        stepPalettes(session, false);
        break;
      case Action::pointPalette:
        sayPaletteColour(session);
        break;
      case Action::nextStream:
        jumpToStream(session, true);
        break;
      case Action::previousStream:
        jumpToStream(session, false);
        break;
      case Action::none:
        break;
    }
    if (stopRequest() != 0) return KeysDone::leave;
  }
  return done;
}

// Runs until the user leaves, the keys end or a stop request comes.
void runView(Session& session) {
  KeyDecoder decoder;
  if (stopRequest() != 0) return;  // it came while the terminal was asked what it draws
  draw(session);
  for (;;) {
    const unsigned events = waitForTerminal(keysUnfinished(decoder) ? kEscapeWaitMilliseconds : -1);
    if ((events & kStopRequested) != 0) return;
    if ((events & kSuspendAsked) != 0) {
      giveTerminalBack(session);
      suspendProcess();
      takeTerminal(session.view.graphics);
    }
    // Whoever stopped us may have changed the terminal; its mode is set
    // again from the one saved at the start, never taken from it.
    if ((events & kResumed) != 0) takeTerminal(session.view.graphics);
    if ((events & (kSuspendAsked | kResumed)) != 0) session.canvas.wholeNext = true;
    if ((events & (kResized | kSuspendAsked | kResumed)) != 0) followTerminalSize(session.view);
    // Keys that were there before a stop may have gone to the shell meanwhile
    // (fg typed at once): the next wait tells whether any are left.
    if ((events & kKeysReady) != 0 && (events & kSuspendAsked) == 0) {
      char bytes[4096];
      bool ended = false;
      const std::size_t count = readKeyBytes(bytes, sizeof bytes, ended);
      if (ended) return;
      feedKeyBytes(decoder, bytes, count);
    }
    // Every key that came is applied before the next frame; a frame only
    // when something changed (an Esc still waiting for the rest of a
    // sequence changes nothing yet).
    followRomLength(session);
    const KeysDone keys = applyKeys(session, decoder, events == 0);
    if (keys == KeysDone::leave) return;
    if (keys == KeysDone::applied || (events & (kResized | kSuspendAsked | kResumed)) != 0) draw(session);
  }
}

}  // namespace

std::string browseRefusal(const DumpRequest& request, std::uint64_t romLength) {
  if (request.width == 0) return "WIDTH '0': " + std::string(textOf(Text::startsAtOne));
  if (request.height == 0) return "HEIGHT '0': " + std::string(textOf(Text::startsAtOne));
  if (request.startAddress >= romLength) {
    return "START '" + std::to_string(request.startAddress) + "': " + textOf(Text::pastTheEnd);
  }
  return "";
}

BrowseEnd browseRom(const FileHandle& rom, const DumpRequest& request, const TerminalGraphics& graphics) {
  std::uint64_t romLength = 0;
  fileLength(rom, romLength);
  int columns = kDefaultColumns;
  int rows = kDefaultRows;
  terminalRoom(columns, rows);
  const auto start = std::min<std::uint64_t>(request.startAddress,
                                             romLength > 0 ? romLength - 1 : 0);
  const bool inPixels = canvasOf(graphics.mode).inPixels;
  int cellWidth = inPixels ? graphics.cellWidth : 1;
  int cellHeight = inPixels ? graphics.cellHeight : 2;
  if (inPixels) boundCellPixels(columns, rows, cellWidth, cellHeight);
  Session session{rom, request, printableText(fileNameOf(request.romPath)),
                  // The view keeps its sizes in ints, which the answers' limits fit.
                  startView(romLength, start, static_cast<std::int32_t>(request.width),
                            static_cast<std::int32_t>(request.height), static_cast<std::int32_t>(request.imageCount), columns, rows, graphics.mode, cellWidth, cellHeight, request.format,
                            request.palette),
                  makeDecoder(request.format, true, request.paletteColours), request.palette, request.paletteColours,
                  isIndexed(request.format) ? request.format.indexBits : 0u, {}, false, CanvasState{}};
  session.view.png = request.png;
  session.romLength = romLength;
  if (request.compression != Compression::none) {
    std::string problem;
    if (!openStream(session, request.startAddress, request.compression, problem)) {
      problem[0] = 't';  // a line of standard error, after "velloran: "
      return BrowseEnd{2, 0, "", problem};
    }
    session.view.inStream = true;
    session.view.streamOffset = request.startAddress;
    session.view.offset = request.decodedOffset;
    followStream(session);
    if (request.decodedOffset >= session.view.romLength) {
      return BrowseEnd{2, 0, "", "--decoded-offset '" + std::to_string(request.decodedOffset) + "': " +
                                     textOf(Text::pastTheEnd)};
    }
  }
  session.maps.map = request.map;
  if (request.map.given) {
    std::string problem;
    if (!startMap(session, problem)) return BrowseEnd{2, 0, "", problem};
  }
  followTerminalEvents();
  if (!takeTerminal(graphics.mode)) return BrowseEnd{1, 0, "", textOf(Text::terminalNotSet)};
  bool outOfMemory = false;
  try {
    runView(session);
  } catch (const std::bad_alloc&) {
    outOfMemory = true;  // the terminal is given back all the same
  }
  giveTerminalBack(session);
  dropLateReplies();
  if (outOfMemory) return BrowseEnd{1, stopRequest(), session.transcript + "\n" + dumpMessage(DumpProblem::noMemory), ""};
  const std::string report = session.transcript + "\n" + commandFor(requestFor(session, session.view.imageCount)) + "\n";
  return BrowseEnd{session.saveFailed ? 1 : 0, stopRequest(), report, ""};
}

}  // namespace velloran
