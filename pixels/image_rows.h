// The one reader of image rows. Everything that shows or saves pixels (the
// dump, and through it the preview; the live view) reads its rows here, from
// a source of bytes: the ROM read in order (a file or a pipe), the ROM read
// at offsets, or bytes in memory such as a decoded stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "pixels/pixel_format.h"
#include "platform/platform.h"

namespace velloran {

struct ByteSource;

// How one kind of source gives its bytes: up to `size` at `offset`, fewer
// only at its end. A source read in order takes the offsets in order.
struct ByteSourceKind {
  ReadResult (*read)(const ByteSource& source, std::uint64_t offset, unsigned char* data, std::size_t size);
};

struct ByteSource {
  const ByteSourceKind* kind;
  const FileHandle* file;       // the ROM, for the file kinds
  const unsigned char* bytes;   // for bytes in memory
  std::uint64_t length;         // in memory: their count
};

// The ROM read forward from where it is: a pipe works too.
ByteSource romInOrder(const FileHandle& rom);

// The ROM read at any offset.
ByteSource romAtOffsets(const FileHandle& rom);

// Bytes that stay in memory while the source is read.
ByteSource bytesInMemory(const unsigned char* bytes, std::size_t count);

// Up to `most` bytes from `offset` on into `bytes`, a piece at a time,
// until the source ends; between pieces `goOn` may say stop (stopped).
ReadResult readSourceBytes(const ByteSource& source, std::uint64_t offset, std::size_t most,
                           std::vector<unsigned char>& bytes, const std::function<bool()>& goOn);

// The `rows` rows (a multiple of stripRows) of `columns` pixels at `offset`,
// a linear row from its first byte: their bytes into `raw` (romBytesOf), the
// ones past the source's end as zeros, and for an indexed format their
// indices into `indices` (columns x rows), as the decoder takes them. The
// read's result says how many bytes the source held.
ReadResult readImageRows(const ByteSource& source, const PixelFormat& format, std::uint64_t offset,
                         std::uint32_t columns, std::uint32_t rows, unsigned char* raw, unsigned char* indices);

}  // namespace velloran
