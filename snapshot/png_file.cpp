#include "snapshot/png_file.h"

#include <zlib.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "texts/numbers.h"

namespace velloran {

struct ZlibStream {
  z_stream stream{};
};

namespace {

constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// zlib's output goes out as IDAT chunks of this size; the file's bytes are
// written once this many have gathered, or at the end: a small snapshot is
// one write.
constexpr std::size_t kIdatBytes = 64 * 1024;
constexpr std::size_t kWriteBytes = std::size_t{4} << 20;

void put32(std::vector<unsigned char>& out, std::uint32_t value) {
  for (const int shift : {24, 16, 8, 0}) out.push_back(static_cast<unsigned char>((value >> shift) & 0xFFu));
}

// length, type, data, CRC of type and data
void putChunk(std::vector<unsigned char>& out, const char* type, const unsigned char* data, std::size_t size) {
  put32(out, static_cast<std::uint32_t>(size));
  const auto* typeBytes = reinterpret_cast<const unsigned char*>(type);
  out.insert(out.end(), typeBytes, typeBytes + 4);
  if (size > 0) out.insert(out.end(), data, data + size);
  uLong crc = crc32(0L, typeBytes, 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  put32(out, static_cast<std::uint32_t>(crc));
}

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// A tEXt chunk, or an iTXt (UTF-8) one for a value beyond ASCII; any byte a
// reader would act on shown as \xNN.
void putText(std::vector<unsigned char>& out, const std::string& keyword, const std::string& value) {
  const std::string shown = printableText(value);
  std::vector<unsigned char> data(keyword.begin(), keyword.end());
  data.push_back(0);
  const bool ascii = isAscii(shown);
  if (!ascii) data.insert(data.end(), {0, 0, 0, 0});  // no compression, no language, no translation
  data.insert(data.end(), shown.begin(), shown.end());
  putChunk(out, ascii ? "tEXt" : "iTXt", data.data(), data.size());
}

bool writePending(PngStream& png, SnapshotFile& snapshot) {
  if (png.pending.empty()) return true;
  const bool written = writeAllAt(snapshot.file, snapshot.length, png.pending.data(), png.pending.size());
  snapshot.length += png.pending.size();
  png.pending.clear();
  return written;
}

// Deflates `size` bytes (Z_FINISH: and ends the data); each time zlib's
// output fills the buffer, and at the end, it becomes an IDAT chunk.
bool deflateInto(PngStream& png, SnapshotFile& snapshot, const unsigned char* data, std::size_t size, int flush) {
  z_stream& stream = png.zlib->stream;
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  for (;;) {
    stream.next_out = png.deflated.data() + png.deflatedBytes;
    stream.avail_out = static_cast<uInt>(png.deflated.size() - png.deflatedBytes);
    const int result = deflate(&stream, flush);
    if (result == Z_STREAM_ERROR) return false;
    png.deflatedBytes = png.deflated.size() - stream.avail_out;
    const bool finished = flush == Z_FINISH && result == Z_STREAM_END;
    if (png.deflatedBytes == png.deflated.size() || (finished && png.deflatedBytes > 0)) {
      putChunk(png.pending, "IDAT", png.deflated.data(), png.deflatedBytes);
      png.deflatedBytes = 0;
    }
    if (png.pending.size() >= kWriteBytes && !writePending(png, snapshot)) return false;
    if (finished || (flush != Z_FINISH && stream.avail_in == 0 && stream.avail_out > 0)) return true;
  }
}

int paeth(int left, int above, int aboveLeft) {
  const int estimate = left + above - aboveLeft;
  const int toLeft = std::abs(estimate - left);
  const int toAbove = std::abs(estimate - above);
  const int toAboveLeft = std::abs(estimate - aboveLeft);
  if (toLeft <= toAbove && toLeft <= toAboveLeft) return left;
  return toAbove <= toAboveLeft ? above : aboveLeft;
}

// A filtered byte's cost: its size as a signed value, the usual measure of
// how well a row deflates.
unsigned costOf(unsigned char value) {
  return value < 128 ? value : 256u - value;
}

// The row under filter `Type` (1 Sub, 2 Up, 3 Average, 4 Paeth) into `out`
// after its filter byte, and the sum of the costs. One loop per filter, with
// nothing to decide per byte.
template <int Type>
std::uint64_t filterRow(const unsigned char* row, const unsigned char* above, std::size_t size, unsigned pixelBytes,
                        unsigned char* out) {
  out[0] = static_cast<unsigned char>(Type);
  std::uint64_t cost = 0;
  for (std::size_t at = 0; at < size; ++at) {
    const int left = at >= pixelBytes ? row[at - pixelBytes] : 0;
    int predicted = 0;
    if (Type == 1) predicted = left;
    if (Type == 2) predicted = above[at];
    if (Type == 3) predicted = (left + above[at]) / 2;
    if (Type == 4) predicted = paeth(left, above[at], at >= pixelBytes ? above[at - pixelBytes] : 0);
    const auto value = static_cast<unsigned char>(row[at] - predicted);
    out[at + 1] = value;
    cost += costOf(value);
  }
  return cost;
}

// One whole row, under the filter that suits it best.
bool addRow(PngStream& png, SnapshotFile& snapshot) {
  const auto size = static_cast<std::size_t>(png.rowBytes);
  // Filters look one pixel back, a whole byte for packed indices.
  const unsigned pixelBytes = png.indexed ? 1 : png.alpha ? 4 : 3;
  const unsigned char* row = png.current.data();
  const unsigned char* above = png.previous.data();
  // None first: the row as it is.
  png.filtered[0] = 0;
  std::memcpy(png.filtered.data() + 1, row, size);
  std::uint64_t best = 0;
  for (std::size_t at = 0; at < size; ++at) best += costOf(row[at]);
  using Filter = std::uint64_t (*)(const unsigned char*, const unsigned char*, std::size_t, unsigned, unsigned char*);
  static const Filter kFilters[] = {filterRow<1>, filterRow<2>, filterRow<3>, filterRow<4>};
  for (const Filter filter : kFilters) {
    const std::uint64_t cost = filter(row, above, size, pixelBytes, png.trial.data());
    if (cost < best) {
      best = cost;
      png.filtered.swap(png.trial);
    }
  }
  png.previous.swap(png.current);
  return deflateInto(png, snapshot, png.filtered.data(), size + 1, Z_NO_FLUSH);
}

// The bytes of `pixels` decoded pixels in a PNG row.
std::uint64_t pngBytesOf(const PngStream& png, std::uint64_t pixels) {
  return png.indexed ? (pixels * png.indexBits + 7) / 8 : pixels * (png.alpha ? 4 : 3);
}

// A row, or a run of one, as the PNG keeps it.
void encodePngPixels(const PngStream& png, const PixelDecoder& decoder, const unsigned char* pixels, std::size_t count,
                     unsigned char* out) {
  if (png.indexed) {
    packIndices(pixels, count, png.indexBits, out);
  } else {
    decodeRgbBytes(decoder, pixels, count, png.alpha, out);
  }
}

}  // namespace

PngStream::PngStream() = default;

PngStream::~PngStream() {
  if (ready) deflateEnd(&zlib->stream);
}

bool startPngStream(PngStream& png) {
  png.zlib = std::make_unique<ZlibStream>();
  png.deflated.resize(kIdatBytes);
  png.pending.reserve(kWriteBytes + kIdatBytes + 1024);
  // The fastest level: ROM graphics deflate as small at it as at the default
  // (the demo's pictures: 512 KiB either way), and a dump stays near the disk's pace.
  png.ready = deflateInit(&png.zlib->stream, Z_BEST_SPEED) == Z_OK;
  return png.ready;
}

void beginPng(PngStream& png, const PixelDecoder& decoder, const ImageShape& shape, const SnapshotOrigin& origin) {
  deflateReset(&png.zlib->stream);
  png.pending.clear();
  png.deflatedBytes = 0;
  png.indexed = isIndexed(decoder.format);
  png.indexBits = decoder.format.indexBits;
  png.alpha = !png.indexed && decoder.format.fields[kAlpha].bits != 0;
  png.rowBytes = pngBytesOf(png, shape.width);
  // Rows that fit a block are filtered against the row above; a longer row
  // comes in runs and goes unfiltered.
  const bool wholeRows = shape.width > 0 && firstBlock(shape).columnCount == shape.width;
  png.previous.assign(wholeRows ? static_cast<std::size_t>(png.rowBytes) : 0, 0);
  png.current.assign(static_cast<std::size_t>(wholeRows ? png.rowBytes : pngBytesOf(png, firstBlock(shape).columnCount)),
                     0);
  png.filtered.assign(wholeRows ? static_cast<std::size_t>(png.rowBytes) + 1 : 0, 0);
  png.trial.assign(png.filtered.size(), 0);

  png.pending.insert(png.pending.end(), std::begin(kSignature), std::end(kSignature));
  std::vector<unsigned char> header;
  put32(header, shape.width);
  put32(header, shape.height);
  const unsigned char colourType = png.indexed ? 3 : png.alpha ? 6 : 2;
  header.insert(header.end(), {static_cast<unsigned char>(png.indexed ? png.indexBits : 8), colourType, 0, 0, 0});
  putChunk(png.pending, "IHDR", header.data(), header.size());
  if (png.indexed) {
    std::vector<unsigned char> palette;
    for (std::uint32_t index = 0; index < (1u << png.indexBits); ++index) {
      const std::uint32_t colour = decoder.colourOfWord[index];
      palette.insert(palette.end(), {static_cast<unsigned char>(colour >> 16),
                                     static_cast<unsigned char>((colour >> 8) & 0xFFu),
                                     static_cast<unsigned char>(colour & 0xFFu)});
    }
    putChunk(png.pending, "PLTE", palette.data(), palette.size());
  } else {
    std::vector<unsigned char> bits;
    for (int channel = 0; channel < (png.alpha ? 4 : 3); ++channel) bits.push_back(decoder.format.fields[channel].bits);
    putChunk(png.pending, "sBIT", bits.data(), bits.size());
  }
  const bool decoded = !origin.compression.empty();
  putText(png.pending, "Source", fileNameOf(origin.source));
  // A decoded image's or a map's picture's place is its stream's, or its tiles'.
  putText(png.pending, "Offset", offsetText(decoded || !origin.map.empty() ? origin.streamOffset : origin.offset));
  if (decoded) {
    putText(png.pending, "Compression", origin.compression);
    putText(png.pending, "Decoded offset", offsetText(origin.offset));
  }
  putText(png.pending, "Width", std::to_string(shape.width));
  putText(png.pending, "Height", std::to_string(shape.height));
  putText(png.pending, "Format", origin.format);
  if (!origin.map.empty()) {
    putText(png.pending, "Map", origin.map);
    putText(png.pending, "Map format", origin.mapFormat);
  }
  if (!origin.palette.empty()) putText(png.pending, "Palette", origin.palette);
  if (!origin.paletteBank.empty()) putText(png.pending, "Palette bank", origin.paletteBank);
  putText(png.pending, "Software", origin.software);
}

bool addPngBlock(PngStream& png, SnapshotFile& snapshot, const PixelDecoder& decoder, const ImageShape& shape,
                 const ImageBlock& block, const unsigned char* pixels) {
  if (block.columnCount == shape.width) {
    for (std::uint32_t row = 0; row < block.rowCount; ++row) {
      encodePngPixels(png, decoder, pixels + std::size_t{row} * block.columnCount * shape.pixelBytes, block.columnCount,
                      png.current.data());
      if (!addRow(png, snapshot)) return false;
    }
    return true;
  }
  // A run of a long row: the row's filter byte (none) before its first run.
  if (block.firstColumn == 0) {
    const unsigned char none = 0;
    if (!deflateInto(png, snapshot, &none, 1, Z_NO_FLUSH)) return false;
  }
  // Within what beginPng made room for: no allocation while the file is open.
  encodePngPixels(png, decoder, pixels, block.columnCount, png.current.data());
  return deflateInto(png, snapshot, png.current.data(), static_cast<std::size_t>(pngBytesOf(png, block.columnCount)),
                     Z_NO_FLUSH);
}

bool finishPng(PngStream& png, SnapshotFile& snapshot) {
  if (!deflateInto(png, snapshot, nullptr, 0, Z_FINISH)) return false;
  putChunk(png.pending, "IEND", nullptr, 0);
  return writePending(png, snapshot);
}

}  // namespace velloran
