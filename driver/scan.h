// velloran --scan ROM: the compressed streams a ROM holds, one line each,
// with the command that opens each in the live view.
#pragma once

#include <string>

#include "driver/run.h"
#include "streams/stream_scan.h"

namespace velloran {

// Status 0 when a stream was found, 1 when none, 2 when the ROM cannot be read.
RunResult scanForStreams(const std::string& romPath, const ScanFilters& filters);

}  // namespace velloran
