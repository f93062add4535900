#include "streams/stream_scan.h"

#include <algorithm>

namespace velloran {

namespace {

// The header's first byte of every type, for a test before any decoding.
bool startsLikeAStream(unsigned char header) {
  return header == 0x10 || header == 0x11 || header == 0x30 || header == 0x24 || header == 0x28;
}

std::uint32_t wordAt(const unsigned char* bytes) {
  return bytes[0] | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

// The offsets that the ROM's aligned words point at, sorted, each as often
// as it is pointed at.
std::vector<std::uint32_t> pointedOffsets(const unsigned char* rom, std::size_t size, std::uint32_t base) {
  std::vector<std::uint32_t> targets;
  for (std::size_t at = 0; at + 4 <= size; at += 4) {
    const std::uint32_t offset = wordAt(rom + at) - base;  // wraps below the base: too large
    if (offset < size && offset % 4 == 0) targets.push_back(offset);
  }
  std::sort(targets.begin(), targets.end());
  return targets;
}

constexpr std::uint64_t kProgressStep = std::uint64_t{1} << 20;

// The stream at `offset`, when it counts.
bool tryStream(const unsigned char* rom, std::size_t size, std::uint64_t offset, const ScanFilters& filters,
               FoundStream& found) {
  const unsigned char* at = rom + offset;
  if (offset + 4 > size || !startsLikeAStream(at[0])) return false;
  if ((at[1] | (std::uint32_t{at[2]} << 8) | (std::uint32_t{at[3]} << 16)) < std::max(filters.smallestSize, 1u)) {
    return false;
  }
  const DecodedStream stream = checkStream(at, size - static_cast<std::size_t>(offset), Compression::automatic);
  if (!stream.strict) return false;
  found = FoundStream{offset, stream.type, stream.declaredSize, stream.length, 0};
  return true;
}

}  // namespace

std::vector<FoundStream> findStreams(const unsigned char* rom, std::size_t size, const ScanFilters& filters,
                                     const ScanProgress& progress, bool& stopped) {
  std::vector<FoundStream> found;
  stopped = false;
  std::uint64_t reported = 0;
  const auto goOn = [&](std::uint64_t scanned) {
    if (!progress || scanned - reported < kProgressStep) return true;
    reported = scanned;
    return progress(scanned);
  };
  FoundStream stream{};
  const std::vector<std::uint32_t> targets = pointedOffsets(rom, size, filters.pointerBase);
  if (!filters.needPointer) {
    for (std::uint64_t offset = 0; offset + 4 <= size; offset += 4) {
      if (!goOn(offset)) {
        stopped = true;
        break;
      }
      if (!tryStream(rom, size, offset, filters, stream)) continue;
      const auto pointers = std::equal_range(targets.begin(), targets.end(), offset);
      stream.pointers = static_cast<std::uint32_t>(pointers.second - pointers.first);
      found.push_back(stream);
    }
    return found;
  }
  for (std::size_t index = 0; index < targets.size();) {
    const std::uint32_t offset = targets[index];
    std::size_t next = index;
    while (next < targets.size() && targets[next] == offset) ++next;
    if (!goOn(offset)) {
      stopped = true;
      break;
    }
    if (tryStream(rom, size, offset, filters, stream)) {
      stream.pointers = static_cast<std::uint32_t>(next - index);
      found.push_back(stream);
    }
    index = next;
  }
  return found;
}

}  // namespace velloran
