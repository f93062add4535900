// The decoders of the stream types, one each, written once for both kinds
// of output: the bytes kept (decodeStream) or only counted (checkStream).
// Only compressed_stream.cpp includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "streams/compressed_stream.h"

namespace velloran {
namespace stream_decoders {

constexpr std::size_t kHeaderBytes = 4;

// Where the decoded bytes go: kept, or only counted. The decoders are the
// same code for both.
struct KeptBytes {
  static constexpr bool kOnlyStrict = false;  // every stream is decoded to its end
  unsigned char* out;                         // room for the declared size
  std::size_t produced = 0;
  std::size_t count() const { return produced; }
  void literal(const unsigned char* from, std::size_t length) {
    std::memcpy(out + produced, from, length);
    produced += length;
  }
  void fill(unsigned char value, std::size_t length) {
    std::memset(out + produced, value, length);
    produced += length;
  }
  // Byte by byte where the copy overlaps what it writes: a distance of 1
  // repeats the last byte.
  void copy(std::size_t distance, std::size_t length) {
    unsigned char* to = out + produced;
    const unsigned char* from = to - distance;
    if (distance >= length) {
      std::memcpy(to, from, length);
    } else if (distance == 1) {
      std::memset(to, *from, length);
    } else {
      for (std::size_t i = 0; i < length; ++i) to[i] = from[i];
    }
    produced += length;
  }
  void symbol(unsigned char value) { out[produced++] = value; }
};

struct CountedBytes {
  static constexpr bool kOnlyStrict = true;  // a stream that cannot be strict is given up at once
  std::size_t produced = 0;
  std::size_t count() const { return produced; }
  void literal(const unsigned char*, std::size_t length) { produced += length; }
  void fill(unsigned char, std::size_t length) { produced += length; }
  void copy(std::size_t, std::size_t length) { produced += length; }
  void symbol(unsigned char) { ++produced; }
};

// The stream's bytes, read forward; reading past them is a problem.
struct Input {
  const unsigned char* data;
  std::size_t size;
  std::size_t at;
  bool has(std::size_t bytes) const { return size - at >= bytes; }
};

struct Outcome {
  StreamProblem problem;
  std::size_t at;  // the problem's place, or the stream's end
  bool cut;        // a copy or run was cut at the declared size
  bool loose;  // flag bits set for blocks that never come, or a tree no encoder writes
};

inline Outcome failed(StreamProblem problem, std::size_t at) {
  return Outcome{problem, at, false, false};
}

// One copy's length and distance, as lz77 and lz11 code them; false when the
// stream ends inside it.
template <bool kLz11>
bool readCopy(Input& input, std::size_t& length, std::size_t& distance) {
  if (!input.has(2)) return false;
  const unsigned b0 = input.data[input.at];
  if (!kLz11 || (b0 >> 4) >= 2) {
    length = (b0 >> 4) + (kLz11 ? 1 : 3);
    distance = (((b0 & 0xFu) << 8) | input.data[input.at + 1]) + 1;
    input.at += 2;
    return true;
  }
  const unsigned char* b = input.data + input.at;
  if ((b0 >> 4) == 0) {
    if (!input.has(3)) return false;
    length = (((b0 & 0xFu) << 4) | (b[1] >> 4)) + 0x11;
    distance = (((b[1] & 0xFu) << 8) | b[2]) + 1;
    input.at += 3;
    return true;
  }
  if (!input.has(4)) return false;
  length = (((b0 & 0xFu) << 12) | (unsigned{b[1]} << 4) | (b[2] >> 4)) + 0x111;
  distance = (((b[2] & 0xFu) << 8) | b[3]) + 1;
  input.at += 4;
  return true;
}

template <bool kLz11, typename Output>
Outcome decodeLz(Input input, std::size_t size, Output& output) {
  bool cut = false;
  while (output.count() < size) {
    if (!input.has(1)) return failed(StreamProblem::endsInside, input.at);
    const unsigned flags = input.data[input.at++];
    for (unsigned bit = 0x80; bit != 0; bit >>= 1) {
      if (output.count() >= size) {
        // The flags of blocks that never come.
        const bool unused = (flags & ((bit << 1) - 1)) != 0;
        return Outcome{StreamProblem::none, input.at, cut, unused};
      }
      if ((flags & bit) == 0) {
        if (!input.has(1)) return failed(StreamProblem::endsInside, input.at);
        output.literal(input.data + input.at++, 1);
        continue;
      }
      const std::size_t copyAt = input.at;
      std::size_t length = 0;
      std::size_t distance = 0;
      if (!readCopy<kLz11>(input, length, distance)) return failed(StreamProblem::endsInside, copyAt);
      if (distance > output.count()) return failed(StreamProblem::copyBeforeStart, copyAt);
      if (length > size - output.count()) {
        length = size - output.count();
        cut = true;
      }
      output.copy(distance, length);
    }
  }
  return Outcome{StreamProblem::none, input.at, cut, false};
}

template <typename Output>
Outcome decodeRle(Input input, std::size_t size, Output& output) {
  bool cut = false;
  while (output.count() < size) {
    if (!input.has(1)) return failed(StreamProblem::endsInside, input.at);
    const unsigned flag = input.data[input.at++];
    std::size_t length = (flag & 0x7Fu) + ((flag & 0x80u) != 0 ? 3 : 1);
    const bool run = (flag & 0x80u) != 0;
    const std::size_t needed = run ? 1 : length;
    if (!input.has(needed)) return failed(StreamProblem::endsInside, input.at);
    if (length > size - output.count()) {
      length = size - output.count();
      cut = true;
    }
    if (run) {
      output.fill(input.data[input.at], length);
    } else {
      output.literal(input.data + input.at, length);
    }
    input.at += needed;
  }
  return Outcome{StreamProblem::none, input.at, cut, false};
}

// The huffman tree, checked before any code is read: every node reached
// from the root has its children inside the tree. `asWritten`: as an
// encoder writes one: no symbol stands at two leaves, each fits the
// symbols' bits, and every pair of children belongs to one node (one pair
// may be left over, to put the code on a word boundary).
struct Tree {
  std::size_t start;  // of the tree's bytes: the stream's offset 4
  std::size_t end;
  bool asWritten;
};

// Where a node's children are, or 0 when they are outside the tree.
inline std::size_t childrenOf(const Input& input, const Tree& tree, std::size_t node) {
  const std::size_t pair = (node & ~std::size_t{1}) + (input.data[node] & 0x3Fu) * 2 + 2;
  return pair + 1 < tree.end ? pair : 0;
}

inline bool checkTree(const Input& input, Tree& tree, unsigned symbolBits, std::size_t& badNode) {
  std::vector<std::size_t> pending{tree.start + 1};
  std::vector<bool> seen(256, false);
  std::vector<bool> pairUsed((tree.end - tree.start) / 2, false);
  std::size_t pairs = 0;
  tree.asWritten = true;
  while (!pending.empty()) {
    const std::size_t node = pending.back();
    pending.pop_back();
    const std::size_t pair = childrenOf(input, tree, node);
    if (pair == 0) {
      badNode = node;
      return false;
    }
    // A pair reached twice: the code is still read, but no encoder shares one.
    if (pairUsed[(pair - tree.start) / 2]) {
      tree.asWritten = false;
      continue;
    }
    pairUsed[(pair - tree.start) / 2] = true;
    ++pairs;
    for (unsigned child = 0; child < 2; ++child) {
      const bool leaf = (input.data[node] & (0x80u >> child)) != 0;
      if (!leaf) {
        pending.push_back(pair + child);
        continue;
      }
      const unsigned symbol = input.data[pair + child];
      if (seen[symbol] || symbol >= (1u << symbolBits)) tree.asWritten = false;
      seen[symbol] = true;
    }
  }
  // The tree's bytes past T and the root: a pair each.
  const std::size_t pairsGiven = (tree.end - tree.start - 2) / 2;
  if (pairs + 1 < pairsGiven) tree.asWritten = false;
  return true;
}

template <typename Output>
Outcome decodeHuffman(Input input, std::size_t size, unsigned symbolBits, Output& output) {
  if (input.size <= kHeaderBytes) return failed(StreamProblem::endsInside, input.size);
  Tree tree{kHeaderBytes, kHeaderBytes + (std::size_t{input.data[kHeaderBytes]} + 1) * 2, false};
  if (tree.end > input.size) return failed(StreamProblem::endsInside, input.size);
  std::size_t badNode = 0;
  if (!checkTree(input, tree, symbolBits, badNode)) return failed(StreamProblem::treeOutside, badNode);
  if (Output::kOnlyStrict && !tree.asWritten) return Outcome{StreamProblem::none, tree.end, false, true};
  input.at = tree.end;
  const std::size_t symbols = symbolBits == 4 ? size * 2 : size;
  std::size_t node = tree.start + 1;
  std::size_t decoded = 0;
  unsigned pendingNibble = 0;
  while (decoded < symbols) {
    if (!input.has(4)) return failed(StreamProblem::endsInside, input.at);
    const unsigned char* b = input.data + input.at;
    const std::uint32_t word = b[0] | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
    input.at += 4;
    int bit = 31;
    for (; bit >= 0 && decoded < symbols; --bit) {
      const unsigned child = (word >> bit) & 1u;
      const std::size_t pair = childrenOf(input, tree, node);
      if ((input.data[node] & (0x80u >> child)) == 0) {
        node = pair + child;
        continue;
      }
      const unsigned symbol = input.data[pair + child];
      node = tree.start + 1;
      ++decoded;
      if (symbolBits == 8) {
        output.symbol(static_cast<unsigned char>(symbol));
      } else if (decoded % 2 == 1) {
        pendingNibble = symbol & 0xFu;  // the byte's low nibble comes first
      } else {
        output.symbol(static_cast<unsigned char>(pendingNibble | ((symbol & 0xFu) << 4)));
      }
    }
    // The last word's bits after the last symbol: an encoder leaves them zero.
    if (decoded == symbols && bit >= 0 && (word & ((std::uint32_t{2} << bit) - 1)) != 0) {
      tree.asWritten = false;
    }
  }
  return Outcome{StreamProblem::none, input.at, false, !tree.asWritten};
}

}  // namespace stream_decoders
}  // namespace velloran
