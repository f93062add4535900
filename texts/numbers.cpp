#include "texts/numbers.h"

#include <cinttypes>
#include <cstdio>

namespace velloran {

namespace {

unsigned digitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 99;
}

bool startsWithHexPrefix(std::string_view text) {
  return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

// The digits and their base, as the grammar reads the text's form.
std::string_view digitsOf(std::string_view text, NumberGrammar grammar, unsigned& base) {
  base = 10;
  switch (grammar) {
    case NumberGrammar::decimal:
      return text;
    case NumberGrammar::dialogue:
      if (startsWithHexPrefix(text)) {
        base = 16;
        return text.substr(2);
      }
      if (text.size() > 1 && text[0] == '0') {
        base = 8;
        return text.substr(1);
      }
      return text;
    case NumberGrammar::hexEditor:
      base = 16;
      if (startsWithHexPrefix(text)) return text.substr(2);
      if (!text.empty() && text[0] == '$') return text.substr(1);
      if (!text.empty() && (text.back() == 'h' || text.back() == 'H')) return text.substr(0, text.size() - 1);
      if (text.size() > 1 && text[0] == '0') return text;
      if (text.find_first_of("abcdefABCDEF") != std::string_view::npos) return text;
      base = 10;
      return text;
  }
  return text;
}

}  // namespace

NumberRead readNumber(std::string_view text, NumberGrammar grammar, std::uint64_t largest, std::uint64_t& value) {
  unsigned base = 10;
  const std::string_view digits = digitsOf(text, grammar, base);
  if (digits.empty()) return NumberRead::notANumber;
  // Every character is looked at before the size: "99999999999999999999x"
  // is no number at all, not a large one.
  for (const char c : digits) {
    if (digitValue(c) >= base) return NumberRead::notANumber;
  }
  value = 0;
  for (const char c : digits) {
    const unsigned digit = digitValue(c);
    if (digit > largest || value > (largest - digit) / base) return NumberRead::tooLarge;
    value = value * base + digit;
  }
  return NumberRead::read;
}

std::string offsetText(std::uint64_t offset) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08" PRIX64, offset);
  return text;
}

}  // namespace velloran
