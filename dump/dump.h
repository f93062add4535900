// The loop over the ROM: consecutive images from a start address, one
// snapshot each. It prints nothing and never ends the process: every event
// goes to its caller, who also says when to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "dump/dump_request.h"
#include "dump/palette_source.h"
#include "pixels/pixel_format.h"
#include "platform/platform.h"
#include "snapshot/snapshot_writer.h"

namespace velloran {

// What can go wrong with a snapshot or the dump, each with its text in dumpMessage.
enum class DumpProblem {
  unableToWrite,           // a snapshot could not be created or written in full
  incompleteFileLeft,      // and its incomplete file could not be removed
  noMemory,                // no memory for the buffers or a name; the last
};

// The message for a problem, as the transcript shows it after a line end.
const char* dumpMessage(DumpProblem problem);

// How reading the ROM stopped before a dump had all it asked for.
enum class RomStop {
  ended,       // the ROM has no more bytes
  unreadable,  // reading it failed
};

// Its message, as the transcript shows it after a line end.
const char* romStopMessage(RomStop stop);

enum class DumpEventKind {
  imageRows,        // block, pixels: the pixels of the image under way, in ROM order,
                    // as the decoder takes them (rows block.columnCount x its
                    // pixelBytes apart), bytes past the ROM's end as zeros;
                    // before and after its Opening
  snapshotOpened,   // name: the file just created, or the name tried when creating failed
  snapshotWritten,  // name: complete and closed
  snapshotFailed,   // name, problem (incompleteFileLeft: given up, and its removal failed);
                    // fileLeftBehind when the incomplete file stays; why
  romStopped,       // rom: the ROM ended, or could not be read
  tileNotHeld,      // a map named a tile past the ROM's end, drawn in colour 0: said once
  stopped,          // a stop request ended the dump; the file under way, if any, is gone
};

struct DumpEvent {
  DumpEventKind kind;
  std::string_view name;
  DumpProblem problem = DumpProblem::unableToWrite;
  RomStop rom = RomStop::ended;
  bool fileLeftBehind = false;
  std::string_view why = {};  // snapshotFailed: the system's words for it, where it said any
  ImageBlock block{0, 0, 0, 0};
  const unsigned char* pixels = nullptr;
};

// What a dump prints for an event, as its transcript has it: "\nOpening: "
// and the name, each message after a line end. Nothing for rows, a written
// snapshot or a stop.
std::string eventText(const DumpEvent& event);

// What the caller wants, asked before every image and between blocks.
enum class DumpControl {
  goOn,
  endBeforeNextImage,  // finish the image under way, start no other
  stopNow,             // give up the image under way and remove its file
};

struct DumpHooks {
  std::function<void(const DumpEvent&)> report;
  std::function<DumpControl()> control;
};

enum class DumpEnd {
  completed,        // every image asked for was handled
  romStopped,       // the ROM ended first, or could not be read: DumpResult::rom says which
  endedByCaller,    // control said endBeforeNextImage
  stopped,          // control said stopNow
  noMemory,         // memory ran out; reported by no event
  badStream,        // the stream or the map the images were to come from cannot be used: DumpResult::problem says why
};

struct DumpResult {
  DumpEnd end;
  bool allWritten;        // every snapshot attempted was written
  std::uint64_t position; // the ROM read position reached; after a stop, the start of the image given up
  RomStop rom = RomStop::ended;  // for romStopped
  std::string problem = {};      // for badStream
};

// Whether a dump did all it could: every image asked for, or every one the
// ROM held, written.
bool everyImageWritten(const DumpResult& result);

// Reads request.imageCount images of width x height from `rom`, which is
// freshly opened, from request.startAddress on, and writes one snapshot each
// under request.dumpPrefix with the first free numbers. The answers must have
// passed their checks.
DumpResult dumpImages(const FileHandle& rom, const DumpRequest& request, const DumpHooks& hooks);

}  // namespace velloran
