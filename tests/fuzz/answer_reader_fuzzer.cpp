// libFuzzer target: the answer reader alone, as the dialogue and the arguments
// call it. The first byte chooses, bit by bit, whether each answer is
// read as a path, a 32-bit number or a 64-bit offset; the rest is input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/answer_reader.h"

namespace {

constexpr std::size_t kMaxPathLength = 16;

bool isLineEnd(char c) {
  return c == '\n' || c == '\r';
}

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return -1;
  const unsigned choices = data[0];
  std::vector<char> bytes(data + 1, data + size);
  bytes.push_back('\0');
  std::FILE* stream = fmemopen(bytes.data(), size - 1, "rb");
  if (stream == nullptr) std::abort();
  velloran::AnswerInput input{stream, {}};
  // Every answer that does not end the input uses at least one byte.
  for (std::size_t answer = 0; answer <= size; ++answer) {
    velloran::AnswerStatus status;
    if ((choices >> (answer % 8)) & 1u) {
      std::string word = "left over";
      status = velloran::readPath(input, kMaxPathLength, word);
      if (status == velloran::AnswerStatus::ok || status == velloran::AnswerStatus::hasZeroByte) {
        // Quoted, a path may hold blanks or be empty, but never span lines.
        check(word.size() <= kMaxPathLength);
        for (const char c : word) check(!isLineEnd(c));
        check((word.find('\0') != std::string::npos) == (status == velloran::AnswerStatus::hasZeroByte));
      }
    } else {
      // A size in 32 bits, or the start address in 64; a negative one is
      // read, then refused by its check.
      const bool size32 = ((choices >> ((answer + 1) % 8)) & 1u) != 0;
      const std::int64_t largest = size32 ? INT32_MAX : INT64_MAX;
      std::int64_t value = 0;
      status = velloran::readNumber(input, static_cast<std::uint64_t>(largest), value);
      if (status == velloran::AnswerStatus::ok) check(value <= largest && value >= -largest - 1);
    }
    if (status == velloran::AnswerStatus::ended || status == velloran::AnswerStatus::readFailed ||
        status == velloran::AnswerStatus::tooMuchInput) {
      std::fclose(stream);
      return 0;
    }
  }
  std::abort();  // more answers than bytes: the reader stopped making progress
}
