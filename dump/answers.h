// The six answers a dump takes, one row each: from these rows the dialogue
// asks, the arguments are read, --help and the usage errors name them, and
// the live view reads its typed sizes and offset. A new answer is a row in
// dump/answers.cpp, its prompt in texts/, and its field in DumpRequest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dump/dump_request.h"
#include "texts/texts.h"

namespace velloran {

// In the order they are asked and given as arguments.
enum Answer : std::size_t { kRomPath, kDumpPrefix, kWidth, kHeight, kImageCount, kStartAddress, kAnswerCount };

struct AnswerRow {
  Answer answer;
  const char* name;   // in the usage text and its errors: WIDTH
  const char* usage;  // what --help says of it
  Text prompt;        // the dialogue's question
  // A number's largest value (sizes 2^31 - 1, the start address 2^63 - 1,
  // as a ROM may pass 2 GiB), and what is said of a larger one; 0 for a path.
  std::uint64_t largest;
  Text tooLarge;
  std::string DumpRequest::*path;    // a path's answer, or none
  std::uint32_t DumpRequest::*size;  // a size's answer, or none (the start address is 64-bit)
};

// `answer` below kAnswerCount.
const AnswerRow& answerRow(std::size_t answer);

// Why `value` (at most the row's largest) cannot answer the number `answer`
// of `request`, which holds the answers before it, its format and its file
// type; empty when it can.
std::string numberProblem(std::size_t answer, bool negative, std::uint64_t value, const DumpRequest& request);

}  // namespace velloran
