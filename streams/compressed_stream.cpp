#include "streams/compressed_stream.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "streams/stream_decoders.h"
#include "texts/numbers.h"
#include "texts/texts.h"

namespace velloran {

using namespace stream_decoders;

namespace {

struct TypeName {
  StreamType type;
  unsigned char header;     // the header's first byte
  const char* name;
  Compression compression;  // what asks for exactly this type
};

constexpr TypeName kTypes[] = {{StreamType::lz77, 0x10, "lz77", Compression::lz77},
                               {StreamType::lz11, 0x11, "lz11", Compression::lz11},
                               {StreamType::rle, 0x30, "rle", Compression::rle},
                               {StreamType::huffman4, 0x24, "huffman", Compression::huffman},
                               {StreamType::huffman8, 0x28, "huffman", Compression::huffman}};

struct CompressionName {
  Compression compression;
  const char* name;
};

constexpr CompressionName kCompressions[] = {{Compression::none, "none"},   {Compression::lz77, "lz77"},
                                             {Compression::lz11, "lz11"},   {Compression::rle, "rle"},
                                             {Compression::huffman, "huffman"}, {Compression::automatic, "auto"}};

// Each problem's text, in StreamProblem's order.
constexpr Text kProblemTexts[] = {Text::streamFine,      Text::streamNotThatType, Text::streamNotAStream,
                                  Text::streamEmpty,     Text::streamCopyBeforeStart, Text::streamEndsInside,
                                  Text::streamTreeOutside};
static_assert(sizeof kProblemTexts / sizeof kProblemTexts[0] == static_cast<std::size_t>(StreamProblem::count),
              "a text for every StreamProblem");

const TypeName* typeOfHeader(unsigned char header) {
  for (const TypeName& known : kTypes) {
    if (known.header == header) return &known;
  }
  return nullptr;
}

template <typename Output>
DecodedStream decodeInto(const unsigned char* data, std::size_t size, Compression asked, Output& output) {
  DecodedStream stream;
  if (size < kHeaderBytes) {
    stream.problem = StreamProblem::endsInside;
    stream.problemAt = size;
    return stream;
  }
  stream.header = data[0];
  const TypeName* known = typeOfHeader(data[0]);
  if (known == nullptr || !compressionAllows(asked, known->type)) {
    stream.problem = asked == Compression::automatic ? StreamProblem::notAStream : StreamProblem::notThatType;
    return stream;
  }
  stream.type = known->type;
  stream.declaredSize = data[1] | (std::uint32_t{data[2]} << 8) | (std::uint32_t{data[3]} << 16);
  if (stream.declaredSize == 0) {
    stream.problem = StreamProblem::emptyStream;
    return stream;
  }
  const Input input{data, size, kHeaderBytes};
  Outcome outcome{};
  switch (stream.type) {
    case StreamType::lz77:
      outcome = decodeLz<false>(input, stream.declaredSize, output);
      break;
    case StreamType::lz11:
      outcome = decodeLz<true>(input, stream.declaredSize, output);
      break;
    case StreamType::rle:
      outcome = decodeRle(input, stream.declaredSize, output);
      break;
    case StreamType::huffman4:
    case StreamType::huffman8:
      outcome = decodeHuffman(input, stream.declaredSize, stream.type == StreamType::huffman4 ? 4 : 8, output);
      break;
  }
  stream.problem = outcome.problem;
  stream.problemAt = outcome.at;
  stream.length = outcome.at;
  stream.strict = outcome.problem == StreamProblem::none && !outcome.cut && !outcome.loose;
  return stream;
}

}  // namespace

const char* streamTypeName(StreamType type) {
  for (const TypeName& known : kTypes) {
    if (known.type == type) return known.name;
  }
  return "?";
}

const char* compressionName(Compression compression) {
  for (const CompressionName& known : kCompressions) {
    if (known.compression == compression) return known.name;
  }
  return "?";
}

bool readCompression(const std::string& text, Compression& compression) {
  for (const CompressionName& known : kCompressions) {
    if (known.compression != Compression::none && text == known.name) {
      compression = known.compression;
      return true;
    }
  }
  return false;
}

Compression compressionOf(StreamType type) {
  for (const TypeName& known : kTypes) {
    if (known.type == type) return known.compression;
  }
  return Compression::none;
}

bool compressionAllows(Compression compression, StreamType type) {
  return compression == Compression::automatic || (compression != Compression::none && compressionOf(type) == compression);
}

DecodedStream decodeStream(const unsigned char* data, std::size_t size, Compression asked) {
  // The declared size is known from the header: one allocation.
  std::vector<unsigned char> bytes(size >= kHeaderBytes ? data[1] | (std::size_t{data[2]} << 8) | (std::size_t{data[3]} << 16) : 0);
  KeptBytes output{bytes.data()};
  DecodedStream stream = decodeInto(data, size, asked, output);
  if (stream.problem == StreamProblem::none) stream.bytes = std::move(bytes);
  return stream;
}

DecodedStream checkStream(const unsigned char* data, std::size_t size, Compression asked) {
  CountedBytes output;
  return decodeInto(data, size, asked, output);
}

std::string streamProblemText(const DecodedStream& stream, std::uint64_t offset, Compression asked) {
  const std::string text = std::string(textOf(Text::streamAt)) + offsetText(offset) + ": ";
  const std::string place = offsetText(offset + stream.problemAt);
  switch (stream.problem) {
    case StreamProblem::notThatType: {
      char header[64];
      std::snprintf(header, sizeof header, textOf(Text::streamNotThatType), stream.header);
      return text + header + compressionName(asked);
    }
    case StreamProblem::copyBeforeStart:
    case StreamProblem::endsInside:
    case StreamProblem::treeOutside:
      return text + textOf(kProblemTexts[static_cast<int>(stream.problem)]) + place;
    default:
      return text + textOf(kProblemTexts[static_cast<int>(stream.problem)]);
  }
}

}  // namespace velloran
