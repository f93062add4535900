// Keys from the bytes a terminal sends: printable characters as themselves,
// and the escape sequences of the arrows, PgUp/PgDn and Home/End in the
// forms xterm, the VT220, rxvt, tmux, the Linux console and Windows Terminal
// send them. An Esc on its own is told from the start of a sequence by the
// time that passes without another byte. Alt and a key (ESC and the key)
// and the terminal's own answers (ESC _ ... ESC \ and the like, however
// late they come) are no keys: they come out as `unknown`. What is pasted
// between ESC[200~ and ESC[201~ comes out as `pasted` characters, never as
// the keys they would be if typed.
#pragma once

#include <cstddef>
#include <string>

namespace velloran {

enum class Key {
  character,  // a printable ASCII character, in KeyPress::character
  up,
  down,
  left,
  right,
  pageUp,
  pageDown,
  home,
  end,
  escape,
  enter,
  backspace,
  redraw,   // Ctrl-L
  pasted,   // a printable character of a bracketed paste, in KeyPress::character
  unknown,  // anything else: a function key, a character beyond ASCII
};

struct KeyPress {
  Key key;
  char character;
};

// How long an Esc waits for the rest of a sequence before it counts alone.
constexpr int kEscapeWaitMilliseconds = 100;

struct KeyDecoder {
  std::string pending;  // bytes that arrived and make no whole key yet
  int stringWaits = 0;  // Esc waits a cut-off terminal answer has had
  bool pasting = false; // inside a bracketed paste (ESC[200~ ... ESC[201~)
};

void feedKeyBytes(KeyDecoder& decoder, const char* bytes, std::size_t count);

// Takes the next whole key from what was fed. False when there is none yet;
// with `waitedLongEnough`, what is pending (an Esc, a cut-off sequence) is
// taken for what it can be instead of waiting for more.
bool nextKey(KeyDecoder& decoder, bool waitedLongEnough, KeyPress& press);

}  // namespace velloran
