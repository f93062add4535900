// libFuzzer target: the stream decoders. The input's first byte picks the
// type, its next two the decoded size (up to 64 KiB, so that each input is
// quick), the rest follows the header as it is. Whatever the bytes: decoding
// ends with the declared size or a problem placed inside the input, and
// checking without keeping the bytes comes to the same verdict.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "streams/compressed_stream.h"

namespace {

void check(bool holds) {
  if (!holds) std::abort();
}

constexpr unsigned char kTypes[] = {0x10, 0x11, 0x30, 0x24, 0x28};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  std::vector<unsigned char> stream{kTypes[data[0] % 5], data[1], data[2], 0};
  stream.insert(stream.end(), data + 3, data + size);
  const velloran::DecodedStream decoded = velloran::decodeStream(stream.data(), stream.size(), velloran::Compression::automatic);
  const velloran::DecodedStream checked = velloran::checkStream(stream.data(), stream.size(), velloran::Compression::automatic);
  // Checking gives up early only on a stream that cannot be strict: the
  // same verdict, and where it found a problem, the same problem.
  check(decoded.strict == checked.strict);
  if (checked.strict) check(decoded.length == checked.length && decoded.problem == velloran::StreamProblem::none);
  if (checked.problem != velloran::StreamProblem::none) {
    check(decoded.problem == checked.problem && decoded.problemAt == checked.problemAt);
  }
  check(decoded.problemAt <= stream.size() && decoded.length <= stream.size());
  if (decoded.problem == velloran::StreamProblem::none) {
    check(decoded.bytes.size() == decoded.declaredSize && decoded.declaredSize > 0);
  } else {
    check(decoded.bytes.empty() && !decoded.strict);
  }
  // Asked for by its own type, the same stream; by another, refused at once.
  const velloran::Compression own = velloran::compressionOf(decoded.type);
  check(velloran::checkStream(stream.data(), stream.size(), own).problem == checked.problem);
  check(velloran::checkStream(stream.data(), stream.size(), own).strict == checked.strict);
  const velloran::Compression other =
      own == velloran::Compression::rle ? velloran::Compression::lz77 : velloran::Compression::rle;
  check(velloran::checkStream(stream.data(), stream.size(), other).problem == velloran::StreamProblem::notThatType);
  return 0;
}
