// Finding the compressed streams a ROM holds. A stream counts when it sits
// on a 4-byte boundary, decodes strictly (checkStream) to at least the
// smallest size, and, unless turned off, the ROM holds a pointer to it: in
// random bytes almost nothing passes all three.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "streams/compressed_stream.h"

namespace velloran {

struct ScanFilters {
  bool needPointer = true;                  // a 32-bit little-endian pointer to it, on a 4-byte boundary
  std::uint32_t pointerBase = 0x08000000;   // where the ROM's byte 0 is mapped
  std::uint32_t smallestSize = 32;          // decoded bytes: one 4-bit tile
};

struct FoundStream {
  std::uint64_t offset;
  StreamType type;
  std::uint32_t size;       // decoded bytes
  std::uint64_t length;     // the stream's own bytes
  std::uint32_t pointers;   // pointers to it in the ROM
};

// Asked now and then with the bytes scanned so far; false stops the scan.
using ScanProgress = std::function<bool(std::uint64_t scanned)>;

// Every stream in `rom`, in offset order. `stopped` when progress said so.
std::vector<FoundStream> findStreams(const unsigned char* rom, std::size_t size, const ScanFilters& filters,
                                     const ScanProgress& progress, bool& stopped);

}  // namespace velloran
