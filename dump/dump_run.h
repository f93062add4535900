// What the dump's loop (dump.cpp) and the reaching of its bytes
// (dump_reach.cpp) share; nothing else includes this.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "dump/dump.h"
#include "pixels/image_rows.h"
#include "snapshot/snapshot_encoder.h"

namespace velloran {
namespace dump_run {

using Buffer = std::unique_ptr<unsigned char[]>;

inline Buffer allocate(std::size_t bytes) {
  return Buffer(new (std::nothrow) unsigned char[bytes]);
}

// Everything one dump works with. Its two buffers hold one block each, so a
// dump needs the same few MiB whatever the image's size.
struct Run {
  const FileHandle& rom;
  ByteSource source;  // the ROM from the start on
  const DumpRequest& request;
  const DumpHooks& hooks;
  const PixelDecoder& decoder;
  ImageShape shape;
  const SnapshotEncoder& encoder;  // BMP or PNG, as the request says
  EncoderState& encoding;
  std::vector<unsigned char> decoded;  // the stream's bytes, when the images are in one
  Buffer raw;        // one block of ROM bytes
  Buffer unpacked;   // indexed formats: the block's indices, a byte each
  bool listed;  // the prefix's folder was listed, or tried
  TakenNumbers taken;
  std::int32_t snapshotNumber;
  std::uint64_t position;  // the ROM's read position
  bool romEnded;           // the ROM gave its last byte
  const MapPictures* pictures = nullptr;  // the images are these, drawn from maps
};

inline void report(const Run& run, DumpEventKind kind, std::string_view name = {}) {
  DumpEvent event{kind, name};
  run.hooks.report(event);
}

inline void reportRomStop(const Run& run, RomStop stop) {
  DumpEvent event{DumpEventKind::romStopped, {}};
  event.rom = stop;
  run.hooks.report(event);
}

inline DumpResult romStopped(RomStop stop, bool allWritten, std::uint64_t position) {
  return DumpResult{DumpEnd::romStopped, allWritten, position, stop};
}

// dump_reach.cpp: puts the read position at `start` (a ROM read forward
// up to it where it cannot seek); completed when it is there.
DumpResult moveTo(Run& run, std::uint64_t start);

// Reads and decodes the stream at the read position; the images are then
// read from its decoded bytes, from the request's decoded offset on.
DumpResult readStream(Run& run, std::uint64_t start);

}  // namespace dump_run
}  // namespace velloran
