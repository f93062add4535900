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

ReadResult readSourceBytes(const ByteSource& source, std::uint64_t offset, std::size_t most,
                           std::vector<unsigned char>& bytes, const std::function<bool()>& goOn) {
  constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
  bytes.clear();  // keeps what the caller reserved
  while (bytes.size() < most) {
    const std::size_t had = bytes.size();
    const std::size_t wanted = std::min(kPieceBytes, most - had);
    bytes.resize(had + wanted);
    const ReadResult read = source.kind->read(source, offset + had, bytes.data() + had, wanted);
    bytes.resize(had + read.bytesRead);
    if (read.failed || read.stopped) return ReadResult{bytes.size(), read.failed, read.stopped};
    if (!goOn()) return ReadResult{bytes.size(), false, true};
    if (read.bytesRead < wanted) break;
  }
  return ReadResult{bytes.size(), false, false};
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
