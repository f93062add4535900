// velloran --scan ROM: the compressed streams a ROM holds, one line each,
// with the command that opens each in the live view.
#pragma once

#include <string>

#include "driver/run.h"
#include "dump/dump_request.h"
#include "streams/stream_scan.h"

namespace velloran {

// Status 0 when a stream was found, 1 when none, 2 when the ROM cannot be read.
RunResult scanForStreams(const std::string& romPath, const ScanFilters& filters);

// velloran --scan=palettes: the best 20 palettes in the ROM for the picture
// a dump of `request` would read, best first, each with the command that
// dumps the picture with it. Status 0 when one was found, 1 when none, 2
// when the ROM cannot be read or the format has no palette.
RunResult scanForPalettes(const DumpRequest& request);

}  // namespace velloran
