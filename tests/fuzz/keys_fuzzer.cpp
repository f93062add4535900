// The key decoder on streams made of whole and cut-off sequences of every
// kind (SGR and older mouse reports, pastes, arrows, terminal answers), fed
// in pieces of any size with quiet spells where the view's loop would have
// them: no byte of a report, an answer or a paste ever becomes a key or an
// Esc, and every key typed between them comes out, in order.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/keys.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Reads the input a byte at a time, 0 once it is used up.
struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  unsigned next() { return at < size ? data[at++] : 0u; }
  bool done() const { return at >= size; }
};

std::string digits(Input& input) {
  std::string text = std::to_string(input.next());
  if (input.next() % 8 == 0) text += std::string(input.next() % 60, '9');  // too long for any report
  return text;
}

// One sequence of a kind the input picks, whole.
std::string sequence(Input& input) {
  switch (input.next() % 5) {
    case 0:
      return "\x1B[<" + digits(input) + ";" + digits(input) + ";" + digits(input) + (input.next() % 2 ? "M" : "m");
    case 1: {
      std::string report = "\x1B[M";
      for (int byte = 0; byte < 3; ++byte) report += static_cast<char>(32 + input.next() % 224);
      return report;
    }
    case 2:
      return "\x1B[1;" + digits(input) + "ABCD"[input.next() % 4];
    case 3:
      return "\x1B_Gi=31;OK\x1B\\";
    default: {
      std::string paste = "\x1B[200~";
      const unsigned length = input.next() % 40;
      for (unsigned byte = 0; byte < length; ++byte) paste += static_cast<char>(0x20 + input.next() % 0x5F);
      return paste + "\x1B[201~";
    }
  }
}

struct Decoded {
  velloran::KeyDecoder decoder;
  std::string characters;  // the typed keys that came out
};

void drain(Decoded& decoded, bool waited) {
  velloran::KeyPress press{};
  while (velloran::nextKey(decoded.decoder, waited, press)) {
    check(press.key != velloran::Key::escape);
    if (press.key == velloran::Key::character) decoded.characters += press.character;
  }
}

// Feeds `bytes` in pieces of sizes the input picks.
void feed(Decoded& decoded, Input& input, const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t piece = 1 + input.next() % 16;
    const std::size_t count = std::min(piece, bytes.size() - at);
    velloran::feedKeyBytes(decoded.decoder, bytes.data() + at, count);
    at += count;
    drain(decoded, false);
  }
}

void quietSpell(Decoded& decoded) {
  for (int wait = 0; wait <= 2 * velloran::kQuietWaits; ++wait) drain(decoded, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input{data, size};
  Decoded decoded;
  std::string typed;
  while (!input.done()) {
    switch (input.next() % 4) {
      case 0:
        feed(decoded, input, sequence(input));
        break;
      case 1: {
        // A sequence cut anywhere after its ESC, then nothing for a while.
        const std::string whole = sequence(input);
        feed(decoded, input, whole.substr(0, 2 + input.next() % (whole.size() - 1)));
        quietSpell(decoded);
        break;
      }
      case 2: {
        const char key = "qsjkSz"[input.next() % 6];
        typed += key;
        feed(decoded, input, std::string(1, key));
        break;
      }
      default:
        drain(decoded, true);  // one Esc wait with nothing new
        break;
    }
  }
  quietSpell(decoded);
  check(decoded.characters == typed);
  check(!velloran::keysUnfinished(decoded.decoder));
  return 0;
}
