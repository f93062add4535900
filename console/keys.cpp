#include "console/keys.h"

#include <algorithm>
#include <string_view>

#include "texts/numbers.h"

namespace velloran {

namespace {

constexpr char kEsc = '\x1B';

// The sequences, whole. A sequence with a modifier (ESC[1;5A, Ctrl-Up) is
// looked up without it, so it moves as the plain key does.
struct Sequence {
  std::string_view bytes;
  Key key;
};

constexpr Sequence kSequences[] = {
    {"\x1B[A", Key::up},      {"\x1BOA", Key::up},        {"\x1B[B", Key::down},     {"\x1BOB", Key::down},
    {"\x1B[C", Key::right},   {"\x1BOC", Key::right},     {"\x1B[D", Key::left},     {"\x1BOD", Key::left},
    {"\x1B[5~", Key::pageUp}, {"\x1B[6~", Key::pageDown}, {"\x1B[H", Key::home},     {"\x1BOH", Key::home},
    {"\x1B[1~", Key::home},   {"\x1B[7~", Key::home},     {"\x1B[F", Key::end},      {"\x1BOF", Key::end},
    {"\x1B[4~", Key::end},    {"\x1B[8~", Key::end},      {"\x1BOM", Key::enter},
};

// The single bytes that are keys of their own.
struct Single {
  char byte;
  Key key;
};

constexpr Single kSingles[] = {
    {'\r', Key::enter},  {'\n', Key::enter},       {'\x7F', Key::backspace},
    {'\x08', Key::backspace}, {'\x0C', Key::redraw}, {'\t', Key::tab},
};

// A control sequence longer than this is junk, not a key.
constexpr std::size_t kLongestSequence = 32;

enum class Length { whole, partial, none, tooLong };

bool isParameterOrIntermediate(unsigned char c) { return c >= 0x20 && c <= 0x3F; }

bool isFinal(unsigned char c) { return c >= 0x40 && c <= 0x7E; }

// How many bytes the escape sequence at the start of `bytes` takes: CSI
// (ESC [ parameters final), SS3 (ESC O final) or the older mouse report
// (ESC [ M and three bytes of any value).
Length sequenceLength(std::string_view bytes, std::size_t& length) {
  if (bytes.size() < 2) return Length::partial;
  if (bytes[1] == 'O') {
    if (bytes.size() < 3) return Length::partial;
    length = 3;
    return Length::whole;
  }
  if (bytes[1] != '[') return Length::none;
  if (bytes.size() >= 3 && bytes[2] == 'M') {
    length = 6;
    return bytes.size() >= length ? Length::whole : Length::partial;
  }
  for (std::size_t at = 2; at < bytes.size(); ++at) {
    const auto c = static_cast<unsigned char>(bytes[at]);
    if (isFinal(c)) {
      length = at + 1;
      return Length::whole;
    }
    if (!isParameterOrIntermediate(c)) {  // the sequence is broken off here
      length = at;
      return Length::whole;
    }
    if (at + 1 >= kLongestSequence) {
      length = at + 1;  // what is dropped now; the rest goes as it comes
      return Length::tooLong;
    }
  }
  return Length::partial;
}

// A terminal's answer that is a string (kitty's graphics reply, a DCS or OSC
// report) is dropped whole; one that grows past this, or stays cut off this
// many Esc waits, is junk, dropped too.
constexpr std::size_t kLongestString = 64 * 1024;
constexpr int kStringWaits = 2 * kQuietWaits;

// ESC and the byte after it that open a string: APC (_), DCS (P), OSC (]),
// PM (^) and SOS (X). It ends with ST (ESC \), or BEL after an OSC.
bool opensString(char second) {
  return second == '_' || second == 'P' || second == ']' || second == '^' || second == 'X';
}

// How many bytes the string at the start of `bytes` takes, through its end;
// partial while its end has not come. Any other ESC in it ends it too, so
// that a key pressed after a cut-off answer is not swallowed with it.
Length stringLength(std::string_view bytes, std::size_t& length) {
  for (std::size_t at = 2; at < bytes.size(); ++at) {
    if (bytes[at] == '\x07') {
      length = at + 1;
      return Length::whole;
    }
    if (bytes[at] != kEsc) continue;
    if (at + 1 == bytes.size()) return Length::partial;
    length = bytes[at + 1] == '\\' ? at + 2 : at;
    return Length::whole;
  }
  return Length::partial;
}

// A decimal parameter, 0 for none or junk.
int parameterOf(const std::string& text) {
  std::uint64_t value = 0;
  return readNumber(text, NumberGrammar::decimal, 1000000, value) == NumberRead::read ? static_cast<int>(value) : 0;
}

// A report's buttons as xterm sends them (4 Shift, 32 a motion, 64 the
// wheel) at a cell counted from 1; false for a cell out of range or a
// sideways wheel, which are no keys.
bool mouseReport(int buttons, bool released, int column, int row, KeyPress& press) {
  if (buttons < 0 || column < 1 || row < 1) return false;
  MouseAction action = released ? MouseAction::release : MouseAction::press;
  if ((buttons & 32) != 0) action = MouseAction::motion;
  if ((buttons & 64) != 0) {
    if ((buttons & 3) > 1) return false;
    action = (buttons & 1) != 0 ? MouseAction::wheelDown : MouseAction::wheelUp;
  }
  press.key = Key::mouse;
  press.shifted = (buttons & 4) != 0;
  press.mouse = MouseReport{action, buttons & 3, column - 1, row - 1};
  return true;
}

// ESC[<button;column;row M (m: a release).
bool readMouse(std::string_view sequence, KeyPress& press) {
  if (sequence.size() < 4 || sequence[2] != '<' || (sequence.back() != 'M' && sequence.back() != 'm')) return false;
  const std::string parameters(sequence.substr(3, sequence.size() - 4));
  const std::size_t first = parameters.find(';');
  const std::size_t second = parameters.find(';', first == std::string::npos ? first : first + 1);
  if (first == std::string::npos || second == std::string::npos) return false;
  const int buttons = parameterOf(parameters.substr(0, first));
  const int column = parameterOf(parameters.substr(first + 1, second - first - 1));
  const int row = parameterOf(parameters.substr(second + 1));
  return mouseReport(buttons, sequence.back() == 'm', column, row, press);
}

// ESC[M and three bytes, each plus 32: the buttons as in the SGR form, but
// a release says no button (3).
bool readOldMouse(std::string_view sequence, KeyPress& press) {
  if (sequence.size() != 6 || sequence[2] != 'M') return false;
  const int buttons = static_cast<unsigned char>(sequence[3]) - 32;
  const int column = static_cast<unsigned char>(sequence[4]) - 32;
  const int row = static_cast<unsigned char>(sequence[5]) - 32;
  return mouseReport(buttons, (buttons & 3) == 3, column, row, press);
}

// The key a whole sequence stands for. A modifier after the first parameter
// is left out (ESC[5;5~ is ESC[5~), and so is a first parameter of 1 before
// a letter (ESC[1;5A is ESC[A); Shift or Ctrl in it is kept as `shifted`.
void readSequence(std::string_view sequence, KeyPress& press) {
  press.key = Key::unknown;
  if (readMouse(sequence, press) || readOldMouse(sequence, press)) return;
  if (sequence.size() == 6 && sequence[2] == 'M') return;  // a report out of range: no key
  std::string plain(sequence);
  if (plain.size() > 3 && plain[1] == '[') {
    const char final = plain.back();
    std::string parameters = plain.substr(2, plain.size() - 3);
    const std::size_t semicolon = parameters.find(';');
    if (semicolon != std::string::npos) {
      const int modifiers = parameterOf(parameters.substr(semicolon + 1)) - 1;
      press.shifted = modifiers > 0 && (modifiers & (1 | 4)) != 0;
    }
    parameters = parameters.substr(0, semicolon);
    if (parameters == "1" && final != '~') parameters.clear();
    plain = "\x1B[" + parameters + final;
  }
  for (const Sequence& known : kSequences) {
    if (known.bytes == plain) press.key = known.key;
  }
}

// The bytes a character beyond ASCII takes in UTF-8, from its lead byte.
std::size_t utf8Length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

void take(KeyDecoder& decoder, std::size_t count) {
  decoder.pending.erase(0, count);
}

}  // namespace

void feedKeyBytes(KeyDecoder& decoder, const char* bytes, std::size_t count) {
  decoder.pending.append(bytes, count);
  if (count > 0) decoder.waits = 0;
}

bool keysUnfinished(const KeyDecoder& decoder) {
  return !decoder.pending.empty() || decoder.pasting || decoder.dropping;
}

namespace {

// Waits out a quiet spell: true once `kQuietWaits` waits have passed with
// nothing new.
bool quietLongEnough(KeyDecoder& decoder, bool waitedLongEnough) {
  return waitedLongEnough && ++decoder.waits >= kQuietWaits;
}

// Inside a bracketed paste: printable characters as pasted ones, the rest
// dropped, until the paste's end.
bool nextPasted(KeyDecoder& decoder, bool waitedLongEnough, KeyPress& press) {
  constexpr std::string_view kPasteEnd = "\x1B[201~";
  const std::string_view bytes = decoder.pending;
  press = KeyPress{Key::unknown, '\0'};
  if (bytes.compare(0, kPasteEnd.size(), kPasteEnd) == 0) {
    decoder.pasting = false;
    take(decoder, kPasteEnd.size());
    return true;
  }
  if (bytes.size() < kPasteEnd.size() && kPasteEnd.compare(0, bytes.size(), bytes) == 0 &&
      !quietLongEnough(decoder, waitedLongEnough)) {
    return false;  // perhaps the start of the end
  }
  const auto first = static_cast<unsigned char>(bytes[0]);
  if (first >= 0x20 && first < 0x7F) press = KeyPress{Key::pasted, bytes[0]};
  take(decoder, 1);
  return true;
}

}  // namespace

namespace {

// Drops the rest of a control sequence too long to be a key: its parameter
// and intermediate bytes, and its final byte. A sequence that stays cut off
// for a quiet spell ends there, so that the keys after it count.
void dropRestOfSequence(KeyDecoder& decoder, bool waitedLongEnough) {
  const std::string& bytes = decoder.pending;
  std::size_t at = 0;
  while (at < bytes.size() && isParameterOrIntermediate(static_cast<unsigned char>(bytes[at]))) ++at;
  if (at < bytes.size()) {
    if (isFinal(static_cast<unsigned char>(bytes[at]))) ++at;
    decoder.dropping = false;
  } else if (quietLongEnough(decoder, waitedLongEnough)) {
    decoder.dropping = false;
  }
  take(decoder, at);
}

// An escape sequence, or an Esc: false while it may be cut off.
bool nextEscaped(KeyDecoder& decoder, bool waitedLongEnough, KeyPress& press) {
  const std::string_view bytes = decoder.pending;
  std::size_t length = 0;
  if (bytes.size() >= 2 && opensString(bytes[1])) {
    const Length found = stringLength(bytes, length);
    if (found == Length::partial) {
      if (waitedLongEnough) ++decoder.waits;
      if (bytes.size() < kLongestString && decoder.waits < kStringWaits) return false;
      length = bytes.size();
    }
    decoder.waits = 0;
    take(decoder, length);
    return true;  // unknown: an answer, never a key
  }
  const auto second = bytes.size() >= 2 ? static_cast<unsigned char>(bytes[1]) : 0u;
  if (bytes.size() >= 2 && bytes[1] != '[' && bytes[1] != 'O' && second >= 0x20 && second != 0x7F) {
    // Alt and a key: ESC, then the key's own bytes.
    const std::size_t keyBytes = second < 0x80 ? 1 : utf8Length(second);
    if (bytes.size() < 1 + keyBytes && !waitedLongEnough) return false;
    take(decoder, std::min(1 + keyBytes, bytes.size()));
    return true;  // unknown
  }
  switch (sequenceLength(bytes, length)) {
    case Length::whole:
      readSequence(bytes.substr(0, length), press);
      decoder.pasting = bytes.substr(0, length) == "\x1B[200~";
      take(decoder, length);
      return true;
    case Length::tooLong:
      take(decoder, length);
      decoder.dropping = true;
      return true;  // unknown: what follows is dropped through the final byte
    case Length::partial:
      if (bytes.size() == 1) break;  // an Esc, once a wait has passed
      // A sequence begun: waited for a quiet spell, then dropped whole.
      if (!quietLongEnough(decoder, waitedLongEnough)) return false;
      take(decoder, bytes.size());
      return true;  // unknown
    case Length::none:
      break;
  }
  if (!waitedLongEnough && bytes.size() == 1) return false;
  // An Esc alone, or one before a byte that starts no sequence (which is
  // then a key of its own).
  press.key = Key::escape;
  take(decoder, 1);
  return true;
}

}  // namespace

bool nextKey(KeyDecoder& decoder, bool waitedLongEnough, KeyPress& press) {
  press = KeyPress{Key::unknown, '\0'};
  if (decoder.dropping) dropRestOfSequence(decoder, waitedLongEnough);
  const std::string_view bytes = decoder.pending;
  if (bytes.empty()) {
    // A paste whose end never came ends after a quiet spell.
    if (decoder.pasting && quietLongEnough(decoder, waitedLongEnough)) decoder.pasting = false;
    return false;
  }
  if (decoder.pasting) return nextPasted(decoder, waitedLongEnough, press);
  const auto first = static_cast<unsigned char>(bytes[0]);
  if (first == static_cast<unsigned char>(kEsc)) return nextEscaped(decoder, waitedLongEnough, press);
  for (const Single& single : kSingles) {
    if (single.byte == bytes[0]) {
      press.key = single.key;
      take(decoder, 1);
      return true;
    }
  }
  if (first >= 0x20 && first < 0x7F) {
    press = KeyPress{Key::character, bytes[0]};
    take(decoder, 1);
    return true;
  }
  const std::size_t length = utf8Length(first);
  if (bytes.size() < length && !waitedLongEnough) return false;
  take(decoder, std::min(length, bytes.size()));
  return true;  // unknown
}

}  // namespace velloran
