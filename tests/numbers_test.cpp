#include <gtest/gtest.h>

#include <cstdint>

#include "texts/numbers.h"

namespace velloran {
namespace {

// Each grammar's forms, its refusals and its limit, as users type them.
TEST(Numbers, EachGrammarReadsItsOwnForms) {
  constexpr std::uint64_t kBig = UINT64_MAX;
  const struct {
    const char* text;
    NumberGrammar grammar;
    std::uint64_t largest;
    NumberRead read;
    std::uint64_t value;
  } cases[] = {
      {"525", NumberGrammar::decimal, kBig, NumberRead::read, 525},
      {"0525", NumberGrammar::decimal, kBig, NumberRead::read, 525},      // no octal here
      {"0x20D", NumberGrammar::decimal, kBig, NumberRead::notANumber, 0},
      {"", NumberGrammar::decimal, kBig, NumberRead::notANumber, 0},
      {"12a", NumberGrammar::decimal, kBig, NumberRead::notANumber, 0},
      {"1000", NumberGrammar::decimal, 999, NumberRead::tooLarge, 0},
      {"999", NumberGrammar::decimal, 999, NumberRead::read, 999},
      {"99999999999999999999999", NumberGrammar::decimal, kBig, NumberRead::tooLarge, 0},
      {"99999999999999999999999x", NumberGrammar::decimal, kBig, NumberRead::notANumber, 0},
      {"18446744073709551615", NumberGrammar::decimal, kBig, NumberRead::read, UINT64_MAX},
      {"18446744073709551616", NumberGrammar::decimal, kBig, NumberRead::tooLarge, 0},
      {"525", NumberGrammar::dialogue, kBig, NumberRead::read, 525},
      {"0x20D", NumberGrammar::dialogue, kBig, NumberRead::read, 525},
      {"0X20d", NumberGrammar::dialogue, kBig, NumberRead::read, 525},
      {"01015", NumberGrammar::dialogue, kBig, NumberRead::read, 525},    // a leading 0: octal
      {"0", NumberGrammar::dialogue, kBig, NumberRead::read, 0},
      {"0x", NumberGrammar::dialogue, kBig, NumberRead::notANumber, 0},
      {"089", NumberGrammar::dialogue, kBig, NumberRead::notANumber, 0},
      {"20D", NumberGrammar::dialogue, kBig, NumberRead::notANumber, 0},
      {"$20D", NumberGrammar::dialogue, kBig, NumberRead::notANumber, 0},
      {"0x8000000000000000", NumberGrammar::dialogue, INT64_MAX, NumberRead::tooLarge, 0},
      {"0x20D", NumberGrammar::hexEditor, kBig, NumberRead::read, 525},
      {"$20D", NumberGrammar::hexEditor, kBig, NumberRead::read, 525},
      {"20Dh", NumberGrammar::hexEditor, kBig, NumberRead::read, 525},
      {"020D", NumberGrammar::hexEditor, kBig, NumberRead::read, 525},    // a leading 0: hex, never octal
      {"00001000", NumberGrammar::hexEditor, kBig, NumberRead::read, 4096},
      {"1A3460", NumberGrammar::hexEditor, kBig, NumberRead::read, 0x1A3460},
      {"3e8", NumberGrammar::hexEditor, kBig, NumberRead::read, 1000},
      {"1000", NumberGrammar::hexEditor, kBig, NumberRead::read, 1000},   // digits alone: decimal
      {"0", NumberGrammar::hexEditor, kBig, NumberRead::read, 0},
      {"$", NumberGrammar::hexEditor, kBig, NumberRead::notANumber, 0},
      {"h", NumberGrammar::hexEditor, kBig, NumberRead::notANumber, 0},
      {"0x", NumberGrammar::hexEditor, kBig, NumberRead::notANumber, 0},
      {"12G", NumberGrammar::hexEditor, kBig, NumberRead::notANumber, 0},
      {"-5", NumberGrammar::hexEditor, kBig, NumberRead::notANumber, 0},
      {"$8000000000000000", NumberGrammar::hexEditor, INT64_MAX, NumberRead::tooLarge, 0},
  };
  for (const auto& c : cases) {
    std::uint64_t value = 12345;
    EXPECT_EQ(readNumber(c.text, c.grammar, c.largest, value), c.read) << c.text;
    if (c.read == NumberRead::read) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace velloran
