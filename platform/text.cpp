// What both systems share: telling the characters a terminal shows from the
// bytes it would act on.
#include "platform/platform.h"

#include <algorithm>

namespace velloran {

namespace {

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0u) == 0x80u;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0: no overlong
// forms, no surrogates, nothing past U+10FFFF.
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  unsigned char lowest = 0x80;  // the second byte's range, narrowed for some leads
  unsigned char highest = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) lowest = 0xA0;
    if (lead == 0xED) highest = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) lowest = 0x90;
    if (lead == 0xF4) highest = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  if (second < lowest || second > highest) return 0;
  for (std::size_t next = at + 2; next < at + length; ++next) {
    if (!isContinuation(static_cast<unsigned char>(text[next]))) return 0;
  }
  return length;
}

}  // namespace

TextPiece textPieceAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return TextPiece{1, lead >= 0x20 && lead != 0x7F};
  const std::size_t length = utf8Length(text, at);
  if (length == 0) return TextPiece{1, false};
  // U+0080 to U+009F, the C1 controls, which some terminals obey in UTF-8 too.
  const bool c1 = lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
  return TextPiece{length, !c1};
}

namespace {

template <typename Put>
void putPrintablePieces(std::string_view text, Put put) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::size_t plainFrom = 0;
  for (std::size_t at = 0; at < text.size();) {
    const TextPiece piece = textPieceAt(text, at);
    if (!piece.printable) {
      if (at > plainFrom) put(text.substr(plainFrom, at - plainFrom));
      for (std::size_t byte = at; byte < at + piece.length; ++byte) {
        const auto value = static_cast<unsigned char>(text[byte]);
        const char escaped[4] = {'\\', 'x', kDigits[value >> 4], kDigits[value & 0xFu]};
        put(std::string_view(escaped, sizeof escaped));
      }
      plainFrom = at + piece.length;
    }
    at += piece.length;
  }
  if (plainFrom < text.size()) put(text.substr(plainFrom));
}

}  // namespace

std::string fileNameOf(const std::string& path) {
  const auto separator = std::find_if(path.rbegin(), path.rend(), isPathSeparator);
  return std::string(separator.base(), path.end());
}

void forEachPrintablePiece(std::string_view text, void (*put)(std::string_view piece)) {
  putPrintablePieces(text, put);
}

std::string printableText(std::string_view text) {
  std::string shown;
  putPrintablePieces(text, [&shown](std::string_view piece) { shown.append(piece); });
  return shown;
}

}  // namespace velloran
