// Reads the dialogue's answers as whitespace-separated words, the way the
// "%s" and "%i" conversions of formatted input do, but with every outcome
// reported: an answer is never wrapped, truncated or silently dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace velloran {

struct AnswerInput {
  std::FILE* stream;  // null for a text input
  std::string lookahead;  // characters read ahead and given back, next one last
  std::size_t bytesThisAnswer = 0;
  bool ended = false;   // the stream ended or failed: nothing more is read from it
  bool failed = false;  // it failed: a read error, not the end of the input
};

enum class AnswerStatus {
  ok,
  notANumber,    // the word was discarded up to the next white space
  outOfRange,    // a number outside the range asked for (32 or 64 bits, signed)
  tooLong,       // a word longer than asked for
  hasZeroByte,   // a word holding a NUL byte, which no path can
  ended,         // the input ended before an answer began
  readFailed,    // reading the input failed
  tooMuchInput,  // over a megabyte without an answer: the input is not a person
  unterminatedQuote,  // a quoted path whose line or input ended before its closing quote
};

// "%s": skips white space, then takes everything up to the next white space;
// or, when the word begins with a double or a single quote, everything up to
// the next same quote on that line, white space included; the quotes are not
// part of the path. This is how file managers and terminals paste a path
// that holds blanks.
AnswerStatus readPath(AnswerInput& input, std::size_t maxLength, std::string& path);

// "%i": skips white space; an optional sign; "0x"/"0X" hexadecimal, a leading
// "0" octal, else decimal. The number ends at the first character that cannot
// belong to it, and that character is left for the next answer. A number
// from -(largest + 1) to `largest`, else outOfRange.
AnswerStatus readNumber(AnswerInput& input, std::uint64_t largest, std::int64_t& value);

// An input that holds just `text`, as if typed and then ended: a command-line
// argument read with the same rules as a typed answer.
AnswerInput textInput(const std::string& text);

// True when nothing is left of the input: the answer read was the whole text.
bool nothingLeft(const AnswerInput& input);

}  // namespace velloran
