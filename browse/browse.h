// --browse: a full-screen view of a ROM that moves, resizes and zooms with
// the keys, and saves what it shows through the dump itself.
#pragma once

#include <string>

#include "console/terminal_graphics.h"
#include "dump/dump.h"
#include "platform/platform.h"

namespace velloran {

struct BrowseEnd {
  int status;          // 0, or 1 when a save failed or the terminal could not be set
  int stopRequest;     // the signal that ended the view, or 0
  std::string report;  // for standard output once the terminal is given back: what the
                       // saves printed, then the command that dumps the last view
  std::string problem; // for standard error, when the view could not start
};

// Runs the view of `rom` (open, and able to seek) from request.startAddress
// until the user leaves, the input ends or a stop request comes; the
// terminal is given back as it was on every way out. Saving writes what
// `velloran ROM PREFIX WIDTH HEIGHT COUNT OFFSET` would write.
// Images are drawn as `graphics` says: half blocks, sixel or kitty.
BrowseEnd browseRom(const FileHandle& rom, const DumpRequest& request, const TerminalGraphics& graphics);

// Why the view cannot start with `request` on a ROM of `romLength` bytes,
// as W, H and o would say it, naming the argument; "" when it can.
std::string browseRefusal(const DumpRequest& request, std::uint64_t romLength);

}  // namespace velloran
