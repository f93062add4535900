// Numbers as users type them, read in one place. Each grammar is named for
// where it is used:
//
//   decimal    digits alone: counts, banks, columns, bits, snapshot numbers,
//              the numbers of a terminal's replies
//   dialogue   the dialogue's and START's forms: decimal (525), hexadecimal
//              after 0x (0x20D), octal after a leading 0 (01015)
//   hexEditor  the live view's, as hex editors show offsets: hexadecimal
//              after 0x or $, before h, with a leading 0 or a letter A-F
//              (0x20D $20D 20Dh 020D 1A3460); digits alone decimal, never octal
//
// The dialogue reads its answers from a stream as they come and keeps its
// own reader (console/answer_reader), in the same forms as `dialogue`.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velloran {

enum class NumberGrammar { decimal, dialogue, hexEditor };

enum class NumberRead {
  read,
  notANumber,  // empty, or a character its grammar does not take
  tooLarge,    // a number, but larger than the limit
};

// All of `text` as one number of `grammar`, at most `largest`. A sign is
// not a number's: the caller takes it off first where one may stand.
NumberRead readNumber(std::string_view text, NumberGrammar grammar, std::uint64_t largest, std::uint64_t& value);

// An offset as the tool writes them everywhere: "0x" and at least 8 hex
// digits, upper case (0x0000020D).
std::string offsetText(std::uint64_t offset);

}  // namespace velloran
