#include "driver/run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "browse/browse.h"
#include "browse/view.h"
#include "console/console_output.h"
#include "console/console_picture.h"
#include "console/preview.h"
#include "driver/command_line.h"
#include "driver/questions.h"
#include "driver/scan.h"
#include "driver/version.h"
#include "dump/dump.h"
#include "platform/platform.h"
#include "texts/texts.h"

namespace velloran {

namespace {

// A message on a line of its own, as the transcript shows them; nothing
// allocated, as it may say that memory ran out.
void sayLine(Text text) {
  say("\n");
  say(textOf(text));
}

// ---- The transcript: the dump's events as text ------------------------------

// The pictures --preview draws as the dump goes: what draws them, and the
// one under way.
struct PreviewPictures {
  Preview preview;
  PixelDecoder decoder;
  std::uint32_t width;
  std::uint32_t height;
  PictureBuilder picture;
};

// A dump's event in its transcript: the Opening lines and the messages.
void sayEvent(const DumpEvent& event) {
  switch (event.kind) {
    case DumpEventKind::imageRows:
    case DumpEventKind::snapshotWritten:
      return;
    case DumpEventKind::tileNotHeld:
      sayError(textOf(Text::tileNotHeld));
      return;
    case DumpEventKind::snapshotOpened:
      // Printed in parts: no allocation while a new file is open.
      sayLine(Text::opening);
      forEachPrintablePiece(event.name, say);  // no control byte reaches the terminal
      flushSaid();  // the name is on screen while its file is written
      return;
    default:
      say(eventText(event));
      // The transcript's words as they always were; why, on standard error.
      if (event.kind == DumpEventKind::snapshotFailed && !event.why.empty()) {
        sayError(printableText(event.name) + ": " + std::string(event.why));
      }
  }
}

// The picture of each snapshot, made from its rows as they come and drawn
// once the snapshot is written, before the next image is read.
void drawEvent(PreviewPictures& pictures, const DumpEvent& event) {
  if (!pictures.preview.on) return;
  const ImageBlock& block = event.block;
  if (event.kind == DumpEventKind::imageRows) {
    if (block.firstRow == 0 && block.firstColumn == 0) {
      pictures.picture = startPreviewPicture(pictures.preview, pictures.decoder, pictures.width, pictures.height);
    }
    addPictureRows(pictures.picture, event.pixels, block.firstRow, block.rowCount, block.firstColumn,
                   block.columnCount);
  } else if (event.kind == DumpEventKind::snapshotWritten && pictures.width > 0 && pictures.height > 0) {
    sayAtOnce(previewPictureText(pictures.preview, pictures.picture));
  }
}

// A stop request gives up the image under way; standard output failing ends
// the dump before the next one, keeping what was written.
DumpControl dumpControl() {
  if (stopRequest() != 0) return DumpControl::stopNow;
  return outputError() != 0 ? DumpControl::endBeforeNextImage : DumpControl::goOn;
}

// ---- The exit status --------------------------------------------------------

void sayPosition(std::uint64_t position) {
  say("\n" + std::to_string(position) + "\n");
}

// A failed standard output turns the run into a failed one, said on standard
// error, where it may still be seen.
int reportWriteError(int error) {
  sayError(std::string("write error: ") + std::strerror(error));
  return kStatusFailed;
}

}  // namespace

int finish(int status) {
  flushSaid();
  return outputError() == 0 ? status : reportWriteError(outputError());
}

namespace {


// The dialogue's words, and on standard error the system's reason.
int reportRomNotOpened(const std::string& romPath, const std::string& whyNot) {
  sayLine(Text::fileNotFound);
  const int status = finish(kStatusFailed);
  sayError(printableText(romPath) + ": " + whyNot);
  return status;
}

// An indexed format's palette, read before anything is written: false, said
// on standard error, when its source cannot be used.
bool takePalette(DumpRequest& request, const FileHandle& rom) {
  if (!isIndexed(request.format)) return true;
  // A map's banks take the palette's first 256 colours.
  const unsigned bits = request.map.given ? mapPictureBits(request.map, request.format) : request.format.indexBits;
  std::uint64_t romLength = 0;
  LoadedPalette loaded;
  // Only a palette in the ROM needs its length.
  if (request.palette.from == PaletteFrom::rom && !fileLength(rom, romLength)) {
    loaded.problem = "--palette: a palette at a ROM offset needs a ROM file, not a pipe";
  } else if (loadPalette(request.palette, bits, rom, romLength, loaded)) {
    const std::string shortOf = shortPaletteText(loaded, bits);
    if (!shortOf.empty()) sayError(shortOf);
    request.paletteColours = std::move(loaded.colours);
    return true;
  }
  sayError(printableText(loaded.problem));
  return false;
}

RunResult dump(const DumpRequest& answered, std::size_t given, const CommandLine& command) {
  DumpRequest request = answered;
  AnswerInput input{stdin, {}};
  if (!askUpToStart(input, given, request)) return {finish(kStatusFailed), 0};
  // The ROM is opened before the last question but reported only after it.
  std::string whyNotOpened;
  const FileHandle rom = openForReading(request.romPath, whyNotOpened);
  if (!askStart(input, given, request)) return {finish(kStatusFailed), 0};
  if (!rom.isOpen()) return {reportRomNotOpened(request.romPath, whyNotOpened), 0};
  if (!takePalette(request, rom)) return {finish(kStatusUsage), 0};
  // From here on a stop request lets the dump end with no incomplete file
  // left; before, it ends the process at once. Asking the terminal what it
  // draws waits for it, so that comes after.
  catchStopRequests();
  PreviewPictures pictures{startPreview(command.preview, command.previewColumns, command.graphics),
                           makeDecoder(request.format, command.preview, request.paletteColours),
                           request.width, request.height, {}};
  const DumpHooks hooks{[&pictures](const DumpEvent& event) {
                          sayEvent(event);
                          drawEvent(pictures, event);
                        },
                        dumpControl};
  const DumpResult result = dumpImages(rom, request, hooks);
  if (pictures.preview.on) dropLateReplies();
  if (result.end == DumpEnd::badStream) {
    const int status = finish(kStatusUsage);
    sayError(printableText(result.problem));
    return {status, 0};
  }
  if (result.end == DumpEnd::noMemory) {
    sayLine(Text::noMemory);
    return {finish(kStatusFailed), 0};
  }
  // Also when the request came during the last image.
  if (const int stop = stopRequest()) {
    sayLine(Text::interrupted);
    sayPosition(result.position);
    finishSaid();
    return {kStatusFailed, stop};
  }
  sayPosition(result.position);
  return {finish(everyImageWritten(result) ? kStatusWritten : kStatusFailed), 0};
}

// ---- The live view ------------------------------------------------------------

RunResult browse(DumpRequest request, GraphicsChoice graphics) {
  if (!standardStreamsAreTerminals()) {
    reportUsageError(textOf(Text::browseOffTerminal));
    return {kStatusUsage, 0};
  }
  if (!enableColourOutput()) {
    reportUsageError(textOf(Text::browseWithoutColours));
    return {kStatusUsage, 0};
  }
  std::string whyNot;
  const FileHandle rom = openForReading(request.romPath, whyNot, false);
  if (rom.isOpen() && rom.mayWait()) whyNot = textOf(Text::browseRomCannotSeek);
  if (!rom.isOpen() || rom.mayWait()) {
    sayError(printableText(request.romPath) + ": " + whyNot);
    return {kStatusFailed, 0};
  }
  std::uint64_t romLength = 0;
  fileLength(rom, romLength);
  const std::string refused = browseRefusal(request, romLength);
  if (!refused.empty()) {
    reportUsageError(refused);
    return {kStatusUsage, 0};
  }
  if (!takePalette(request, rom)) return {kStatusUsage, 0};
  catchStopRequests();
  const BrowseEnd end = browseRom(rom, request, findTerminalGraphics(graphics));
  if (!end.problem.empty()) sayError(end.problem);
  say(end.report);
  if (end.stopRequest != 0) {
    finishSaid();
    return {kStatusFailed, end.stopRequest};
  }
  return {finish(end.status), 0};
}

// ---- What the command line asks for --------------------------------------------

// --help, --version, --list-formats and --list-keys: a text on standard output.
RunResult show(const std::string& text) {
  say(text);
  return {finish(kStatusWritten), 0};
}

RunResult refuse(const std::string& problem) {
  reportUsageError(problem);
  return {kStatusUsage, 0};
}

// The request the options and the arguments make; false, with the usage
// problem, when an argument cannot be used.
bool requestOf(const CommandLine& command, DumpRequest& request, std::string& usageProblem) {
  request = command.browse ? browseDefaults() : DumpRequest{};
  request.format = command.format;
  request.palette = command.palette;
  request.png = command.png;
  request.compression = command.compression;
  request.decodedOffset = command.decodedOffset;
  request.map = command.map;
  request.software = std::string("velloran ") + VELLORAN_VERSION;
  return takeArguments(command.answers, request, usageProblem);
}

// A dump, or the live view, of what the command line and the dialogue ask for.
RunResult dumpOrBrowse(const CommandLine& command) {
  DumpRequest request;
  std::string usageProblem;
  if (!requestOf(command, request, usageProblem)) return refuse(usageProblem);
  if (command.browse) return browse(request, command.graphics);
  return dump(request, command.answers.size(), command);
}

RunResult dispatch(const CommandLine& command) {
  switch (command.action) {
    case CommandAction::showHelp:
      return show(helpText());
    case CommandAction::showVersion:
      return show(versionText());
    case CommandAction::listFormats:
      return show(formatListText() + mapFormatListText());
    case CommandAction::listKeys:
      return show(keyListText());
    case CommandAction::usageError:
      return refuse(command.problem);
    case CommandAction::scanStreams:
      return scanForStreams(command.answers[0], command.scanFilters);
    case CommandAction::scanPalettes: {
      DumpRequest request;
      std::string usageProblem;
      if (!requestOf(command, request, usageProblem)) return refuse(usageProblem);
      return scanForPalettes(request);
    }
    case CommandAction::dump:
      break;
  }
  return dumpOrBrowse(command);
}

}  // namespace

RunResult runCommand(const std::vector<std::string>& arguments) {
  resetOutputError();
  // Answers and names are strings that grow; running out of memory for one
  // ends the run with the same message as for the image buffer.
  try {
    return dispatch(parseCommandLine(arguments));
  } catch (const std::bad_alloc&) {
    sayLine(Text::noMemory);
    return {finish(kStatusFailed), 0};
  }
}

int endOutput(int status) {
  endOpenLine();  // the shell's prompt on a line of its own
  const bool failedBefore = outputError() != 0;
  const int error = closeSaid();
  // A usage error stays one, whatever became of standard output.
  if (error == 0 || failedBefore || status == kStatusUsage) return status;
  return reportWriteError(error);
}

}  // namespace velloran
