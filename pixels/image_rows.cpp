#include "pixels/image_rows.h"

#include <algorithm>
#include <cstring>

#include "pixels/pixel_decoder.h"

namespace velloran {

namespace {

ReadResult readInOrder(const ByteSource& source, std::uint64_t, unsigned char* data, std::size_t size) {
  return readFull(*source.file, data, size);
}

ReadResult readAtOffset(const ByteSource& source, std::uint64_t offset, unsigned char* data, std::size_t size) {
  return readAt(*source.file, offset, data, size);
}

ReadResult readMemory(const ByteSource& source, std::uint64_t offset, unsigned char* data, std::size_t size) {
  const std::uint64_t left = offset < source.length ? source.length - offset : 0;
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
  if (count > 0) std::memcpy(data, source.bytes + offset, count);
  return ReadResult{count, false, false};
}

constexpr ByteSourceKind kInOrder{readInOrder};
constexpr ByteSourceKind kAtOffsets{readAtOffset};
constexpr ByteSourceKind kInMemory{readMemory};

}  // namespace

ByteSource romInOrder(const FileHandle& rom) {
  return ByteSource{&kInOrder, &rom, nullptr, 0};
}

ByteSource romAtOffsets(const FileHandle& rom) {
  return ByteSource{&kAtOffsets, &rom, nullptr, 0};
}

ByteSource bytesInMemory(const unsigned char* bytes, std::size_t count) {
  return ByteSource{&kInMemory, nullptr, bytes, count};
}

ReadResult readImageRows(const ByteSource& source, const PixelFormat& format, std::uint64_t offset,
                         std::uint32_t columns, std::uint32_t rows, unsigned char* raw, unsigned char* indices) {
  const auto wanted = static_cast<std::size_t>(romBytesOf(format, columns, rows));
  const ReadResult read = source.kind->read(source, offset, raw, wanted);
  // Never what the buffer held before.
  std::memset(raw + read.bytesRead, 0, wanted - read.bytesRead);
  if (indices != nullptr && !read.failed && !read.stopped) unpackIndices(format, raw, columns, rows, indices);
  return read;
}

}  // namespace velloran
