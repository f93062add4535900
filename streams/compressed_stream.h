// Compressed streams as cartridges store them, decoded into memory.
//
//   header: one 32-bit little-endian word
//     bits 4-7 the type, bits 0-3 the sub-type, bits 8-31 the decoded size
//     0x10 lz77   0x11 lz11   0x30 rle   0x24 huffman, 4-bit symbols
//                                        0x28 huffman, 8-bit symbols
//   lz77, lz11: a flag byte for each 8 blocks, most significant bit first;
//     0 = a literal byte, 1 = a copy from earlier in the output:
//     lz77        b0 b1          length (b0>>4)+3, distance ((b0&15)<<8|b1)+1
//     lz11 n=b0>>4, n>=2: b0 b1    length n+1, distance 12 bits + 1
//               n=0: b0 b1 b2       length 8 bits + 0x11, distance 12 bits + 1
//               n=1: b0 b1 b2 b3    length 16 bits + 0x111, distance 12 bits + 1
//   rle: a flag byte: bit 7 set, the next byte (flag&0x7F)+3 times;
//        clear, (flag&0x7F)+1 bytes as they are
//   huffman: T at +4, the tree's (T+1)*2 bytes from +4, its root at +5;
//     a node's bits 0-5: its children at (address & ~1) + offset*2 + 2,
//     bit 7: child 0 is a symbol, bit 6: child 1 is a symbol;
//     then the code in 32-bit little-endian words, bit 31 first, 0 = child 0;
//     4-bit symbols fill a byte low nibble first
//
// Pure work on bytes in memory; the problems are values, worded by
// streamProblemText.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velloran {

enum class StreamType { lz77, lz11, rle, huffman4, huffman8 };

// What --compression asks for: a type, any (its header says), or none.
enum class Compression { none, lz77, lz11, rle, huffman, automatic };

// The name users know a type by, and its option value.
const char* streamTypeName(StreamType type);
const char* compressionName(Compression compression);

// "lz77", "lz11", "rle", "huffman" or "auto"; false for anything else.
bool readCompression(const std::string& text, Compression& compression);

// The Compression that asks for exactly this type.
Compression compressionOf(StreamType type);

// What the stream a Compression asks for may be.
bool compressionAllows(Compression compression, StreamType type);

// Decoded sizes reach 2^24 - 1; the header has 24 bits for them.
constexpr std::size_t kLargestDecodedSize = (std::size_t{1} << 24) - 1;

// The bytes read for a stream at most: more than any stream of the largest
// size takes, its codes' worst case included.
constexpr std::size_t kLongestStreamBytes = std::size_t{36} << 20;

enum class StreamProblem {
  none,
  notThatType,       // the header's type byte is not the one asked for
  notAStream,        // it is none of the types (under auto)
  emptyStream,       // a decoded size of 0
  copyBeforeStart,   // a copy from before the decoded bytes' start
  endsInside,        // the bytes end inside the stream
  treeOutside,       // a huffman node points outside its tree
  count              // not a problem: how many there are
};

struct DecodedStream {
  StreamType type = StreamType::lz77;
  unsigned char header = 0;          // the header's first byte: type and sub-type
  std::vector<unsigned char> bytes;  // the decoded bytes, at most the declared size
  std::uint32_t declaredSize = 0;
  std::uint64_t length = 0;          // the stream's own bytes, header included
  bool strict = false;               // exactly its size, every unused bit zero, no copy cut short
  StreamProblem problem = StreamProblem::none;
  std::uint64_t problemAt = 0;       // where the problem is, from the stream's start
};

// The stream at the start of `data` (`size` bytes, the rest of the ROM).
// A last copy that runs past the declared size is cut there, as the
// hardware writes it: the stream is then not strict.
DecodedStream decodeStream(const unsigned char* data, std::size_t size, Compression asked);

// The same checks without keeping the bytes: for the scan, which tries
// many candidates and keeps few. A stream that cannot be strict may be
// given up early: its length is then where that was seen.
DecodedStream checkStream(const unsigned char* data, std::size_t size, Compression asked);

// "the stream at 0x00001000: ..." for a problem of the stream at `offset`.
std::string streamProblemText(const DecodedStream& stream, std::uint64_t offset, Compression asked);

}  // namespace velloran
