#include "console/answer_reader.h"

#include <cstdio>

#include "platform/platform.h"

namespace velloran {

namespace {

constexpr int kEnd = EOF;
// Far beyond any real answer, yet it stops an endless stream of junk.
constexpr std::size_t kMaxBytesPerAnswer = std::size_t{1} << 20;

int nextChar(AnswerInput& input) {
  ++input.bytesThisAnswer;
  if (!input.lookahead.empty()) {
    const int c = static_cast<unsigned char>(input.lookahead.back());
    input.lookahead.pop_back();
    return c;
  }
  // A read error ends the input for good: a later read that worked would
  // splice the answers around the bytes that were lost.
  if (input.ended) return kEnd;
  const int c = readInputByte(input.stream);
  input.ended = c == kEnd;
  input.failed = input.ended && std::ferror(input.stream) != 0;
  return c;
}

void giveBack(AnswerInput& input, int c) {
  --input.bytesThisAnswer;
  if (c != kEnd) input.lookahead.push_back(static_cast<char>(c));
}

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool overBudget(const AnswerInput& input) {
  return input.bytesThisAnswer > kMaxBytesPerAnswer;
}

// The first character of the answer, or kEnd.
int skipSpace(AnswerInput& input) {
  int c = nextChar(input);
  while (isSpace(c) && !overBudget(input)) c = nextChar(input);
  return c;
}

int digitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Consumes the rest of a word that cannot be used.
void discardWord(AnswerInput& input) {
  int c = nextChar(input);
  while (c != kEnd && !isSpace(c) && !overBudget(input)) c = nextChar(input);
  giveBack(input, c);
}

bool isLineEnd(int c) {
  return c == '\n' || c == '\r';
}

bool isQuote(int c) {
  return c == '"' || c == '\'';
}

// Takes a word up to white space or, when it opens with a quote, up to the
// same quote, which is consumed; a line end or the input's end before it
// leaves the quote unterminated.
AnswerStatus readPathUnchecked(AnswerInput& input, std::size_t maxLength, std::string& word) {
  input.bytesThisAnswer = 0;
  word.clear();
  bool tooLong = false;
  bool hasZeroByte = false;
  int c = skipSpace(input);
  if (c == kEnd) return AnswerStatus::ended;
  if (overBudget(input)) return AnswerStatus::tooMuchInput;
  const int quote = isQuote(c) ? c : kEnd;
  if (quote != kEnd) c = nextChar(input);
  const auto endsWord = [quote](int next) {
    return quote == kEnd ? next == kEnd || isSpace(next) : next == quote || next == kEnd || isLineEnd(next);
  };
  while (!endsWord(c)) {
    if (overBudget(input)) return AnswerStatus::tooMuchInput;
    hasZeroByte = hasZeroByte || c == 0;
    if (word.size() < maxLength) {
      word.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
    c = nextChar(input);
  }
  if (quote != kEnd && c != quote) {
    giveBack(input, c);
    return AnswerStatus::unterminatedQuote;
  }
  if (quote == kEnd) giveBack(input, c);
  if (tooLong) return AnswerStatus::tooLong;
  return hasZeroByte ? AnswerStatus::hasZeroByte : AnswerStatus::ok;
}

// A number from -(largest + 1) to `largest`.
AnswerStatus readIntegerUnchecked(AnswerInput& input, std::uint64_t largest, std::int64_t& value) {
  input.bytesThisAnswer = 0;
  int c = skipSpace(input);
  if (c == kEnd) return AnswerStatus::ended;
  if (overBudget(input)) return AnswerStatus::tooMuchInput;

  const bool negative = c == '-';
  if (c == '-' || c == '+') c = nextChar(input);
  if (digitValue(c) > 9) {
    giveBack(input, c);
    discardWord(input);
    return overBudget(input) ? AnswerStatus::tooMuchInput : AnswerStatus::notANumber;
  }

  int base = 10;
  if (c == '0') {
    base = 8;
    const int next = nextChar(input);
    if (next == 'x' || next == 'X') {
      const int afterNext = nextChar(input);
      if (digitValue(afterNext) < 16) {
        base = 16;
        c = afterNext;
      } else {
        // "0x" with no hexadecimal digit after it is the number 0 followed by "x".
        giveBack(input, afterNext);
        giveBack(input, next);
      }
    } else {
      giveBack(input, next);
    }
  }

  // Keeps consuming digits past the limit, so a long number is refused whole;
  // the magnitude stops just past it and never wraps.
  const std::uint64_t limit = largest + 1;
  std::uint64_t magnitude = 0;
  while (digitValue(c) < base) {
    if (overBudget(input)) return AnswerStatus::tooMuchInput;
    const auto digit = static_cast<std::uint64_t>(digitValue(c));
    const auto radix = static_cast<std::uint64_t>(base);
    magnitude = magnitude > (limit - digit) / radix ? limit + 1 : magnitude * radix + digit;
    c = nextChar(input);
  }
  giveBack(input, c);

  if (magnitude > limit || (magnitude == limit && !negative)) return AnswerStatus::outOfRange;
  value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return AnswerStatus::ok;
}

}  // namespace

// An answer cut short by a read error is not an answer, whatever it looks like.
AnswerStatus readPath(AnswerInput& input, std::size_t maxLength, std::string& path) {
  const AnswerStatus status = readPathUnchecked(input, maxLength, path);
  return input.failed ? AnswerStatus::readFailed : status;
}

AnswerStatus readNumber(AnswerInput& input, std::uint64_t largest, std::int64_t& value) {
  std::int64_t read = 0;
  AnswerStatus status = readIntegerUnchecked(input, largest, read);
  if (input.failed) status = AnswerStatus::readFailed;
  if (status == AnswerStatus::ok) value = read;
  return status;
}

AnswerInput textInput(const std::string& text) {
  AnswerInput input{nullptr, std::string(text.rbegin(), text.rend())};
  input.ended = true;
  return input;
}

bool nothingLeft(const AnswerInput& input) {
  return input.lookahead.empty();
}

}  // namespace velloran
