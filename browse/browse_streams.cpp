// The live view's compressed streams: c decodes the one at the offset and
// shows its bytes, c again goes back to the ROM's; d and D jump to the
// streams a scan of the ROM finds.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "browse/browse_parts.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {
namespace browse_parts {

namespace {



std::string streamName(const char* type, std::uint64_t offset, std::uint64_t size) {
  return std::string(type) + " " + offsetText(offset) + " (" + std::to_string(size) + " bytes)";
}

// Every stream of the ROM, as --scan lists them: once, at the first d or D.
void scanOnce(Session& session) {
  if (session.scanned || !readWholeRom(session)) return;
  bool stopped = false;
  session.streams = findStreams(session.wholeRom.data(), session.wholeRom.size(), ScanFilters{}, ScanProgress(), stopped);
  session.scanned = !stopped;
}

}  // namespace

bool openStream(Session& session, std::uint64_t offset, Compression asked, std::string& problem) {
  std::vector<unsigned char> bytes;
  const ReadResult read = readSourceBytes(romAtOffsets(session.rom), offset, kLongestStreamBytes, bytes,
                                          []() { return stopRequest() == 0; });
  if (read.failed) {
    problem = textOf(Text::romUnreadable);
    return false;
  }
  DecodedStream stream = decodeStream(bytes.data(), bytes.size(), asked);
  if (stream.problem != StreamProblem::none) {
    problem = streamProblemText(stream, offset, asked);
    problem[0] = 'T';  // a sentence of its own on the status line
    return false;
  }
  session.streamBytes = std::move(stream.bytes);
  session.streamOpen = true;
  session.streamAt = offset;
  session.view.streamName = streamName(streamTypeName(stream.type), offset, session.streamBytes.size());
  session.streamCompression = compressionOf(stream.type);
  return true;
}

void followStream(Session& session) {
  View& view = session.view;
  if (view.inStream && (!session.streamOpen || session.streamAt != view.streamOffset)) {
    std::string problem;
    // Gone back to a stream the ROM no longer holds: its bytes are shown.
    if (!openStream(session, view.streamOffset, Compression::automatic, problem)) {
      view.inStream = false;
      view.offset = view.streamOffset;
      view.message = problem;
    }
  }
  if (!view.inStream && session.streamOpen) {
    session.streamOpen = false;
    session.streamBytes = {};
  }
  view.romLength = view.inStream ? session.streamBytes.size() : session.romLength;
  if (view.romLength > 0 && view.offset >= view.romLength) view.offset = view.romLength - 1;
}

void toggleStream(Session& session) {
  View& view = session.view;
  const Place before = placeOf(view);
  if (view.inStream) {
    view.inStream = false;
    view.offset = view.streamOffset;
  } else {
    std::string problem;
    if (!openStream(session, view.offset, Compression::automatic, problem)) {
      view.message = problem;
      return;
    }
    view.inStream = true;
    view.streamOffset = view.offset;
    view.offset = 0;
  }
  view.panX = 0;
  view.panY = 0;
  view.pointing = false;
  rememberJump(view, before);
  followStream(session);
}

void jumpToStream(Session& session, bool forward) {
  View& view = session.view;
  scanOnce(session);
  const std::uint64_t here = view.inStream ? view.streamOffset : view.offset;
  const auto after = std::upper_bound(session.streams.begin(), session.streams.end(), here,
                                      [](std::uint64_t at, const FoundStream& stream) { return at < stream.offset; });
  const auto atOrAfter = std::lower_bound(session.streams.begin(), session.streams.end(), here,
                                          [](const FoundStream& stream, std::uint64_t at) { return stream.offset < at; });
  if (forward ? after == session.streams.end() : atOrAfter == session.streams.begin()) {
    view.message = textOf(forward ? Text::noStreamAfter : Text::noStreamBefore);
    return;
  }
  const FoundStream& found = forward ? *after : *(atOrAfter - 1);
  const Place before = placeOf(view);
  view.inStream = false;
  view.offset = found.offset;
  view.panX = 0;
  view.panY = 0;
  view.pointing = false;
  rememberJump(view, before);
  followStream(session);
  const auto rank = static_cast<std::size_t>(&found - session.streams.data()) + 1;
  view.message = streamName(streamTypeName(found.type), found.offset, found.size) + ", stream " +
                 std::to_string(rank) + " of " + std::to_string(session.streams.size()) + textOf(Text::streamOpensWithC);
}

bool readWholeRom(Session& session) {
  if (session.wholeRom.size() == session.romLength) return true;
  const ReadResult read = readSourceBytes(romAtOffsets(session.rom), 0, static_cast<std::size_t>(session.romLength),
                                          session.wholeRom, []() { return stopRequest() == 0; });
  return !read.failed && !read.stopped;
}

ByteSource viewBytes(const Session& session) {
  if (session.view.inStream) return bytesInMemory(session.streamBytes.data(), session.streamBytes.size());
  return romAtOffsets(session.rom);
}

}  // namespace browse_parts
}  // namespace velloran
