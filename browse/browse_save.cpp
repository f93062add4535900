// The live view's saves: what a dump with the view's answers writes, through
// the dump itself, and what the status line says of it.
#include <cinttypes>
#include <cstdio>

#include "browse/browse_parts.h"
#include "texts/texts.h"

namespace velloran {
namespace browse_parts {

namespace {

// What a save wrote, for the status line.
struct SaveSummary {
  std::string first;
  std::string last;
  int written = 0;
  std::string problem;  // the first thing that went wrong
  std::string where;    // the offset and the size saved
};

void noteEvent(Session& session, SaveSummary& summary, const DumpEvent& event) {
  session.transcript += eventText(event);
  switch (event.kind) {
    case DumpEventKind::snapshotWritten:
      if (summary.written++ == 0) summary.first = printableText(event.name);
      summary.last = printableText(event.name);
      return;
    case DumpEventKind::snapshotFailed:
    case DumpEventKind::romStopped:
      // The ROM's end is no failure: the save wrote what the ROM held.
      if (event.kind == DumpEventKind::snapshotFailed || event.rom == RomStop::unreadable) session.saveFailed = true;
      if (summary.problem.empty()) summary.problem = eventText(event).substr(1);
      if (event.kind == DumpEventKind::snapshotFailed && event.problem == DumpProblem::unableToWrite &&
          summary.problem == textOf(Text::unableToWrite)) {
        summary.problem += " " + printableText(event.name) + (event.why.empty() ? "" : ": " + std::string(event.why));
      }
      return;
    default:
      return;
  }
}

std::string summaryText(const SaveSummary& summary) {
  std::string text;
  if (summary.written > 0) text = "Saved " + summary.first;
  if (summary.written > 1) text += " to " + summary.last;
  if (summary.written > 0) text += " at " + summary.where;
  if (!summary.problem.empty()) text += (text.empty() ? "" : "; ") + summary.problem;
  return text.empty() ? textOf(Text::nothingSaved) : text;
}

}  // namespace

// The request that dumps the view: `count` images from its offset.
DumpRequest requestFor(const Session& session, std::int32_t count) {
  const View& view = session.view;
  DumpRequest request = session.request;
  // The view's sizes and count are from 1 (its own checks keep them there).
  request.width = static_cast<std::uint32_t>(view.width);
  request.height = static_cast<std::uint32_t>(view.height);
  request.imageCount = static_cast<std::uint32_t>(count);
  request.startAddress = view.inStream ? view.streamOffset : view.offset;
  request.compression = view.inStream ? session.streamCompression : Compression::none;
  request.decodedOffset = view.inStream ? view.offset : 0;
  request.map = session.maps.map;
  request.map.given = session.maps.shown;
  request.format = view.format;
  request.palette = session.loaded;
  request.paletteColours = session.paletteColours;
  request.png = view.png;
  return request;
}

// Saves `count` images from the offset through the dump, as a dump with the
// same answers would; a stop request gives up the snapshot under way.
void save(Session& session, std::int32_t count) {
  View& view = session.view;
  view.message = textOf(Text::saving);
  draw(session);
  const DumpRequest request = requestFor(session, count);
  SaveSummary summary;
  char where[64];
  std::snprintf(where, sizeof where, "0x%08" PRIX64 ", %dx%d", view.offset, view.width, view.height);
  summary.where = where;
  const DumpHooks hooks{[&](const DumpEvent& event) { noteEvent(session, summary, event); },
                        [] { return stopRequest() != 0 ? DumpControl::stopNow : DumpControl::goOn; }};
  const DumpResult result = dumpImages(session.rom, request, hooks);
  if (result.end == DumpEnd::noMemory) {
    session.saveFailed = true;
    summary.problem = dumpMessage(DumpProblem::noMemory);
  }
  // After what it printed, the command that writes it again.
  if (summary.written > 0) session.transcript += "\n" + commandFor(request);
  view.message = summaryText(summary);
}

}  // namespace browse_parts
}  // namespace velloran
