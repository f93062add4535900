// Keys from the bytes a terminal sends: printable characters as themselves,
// and the escape sequences of the arrows, PgUp/PgDn and Home/End in the
// forms xterm, the VT220, rxvt, tmux, the Linux console and Windows Terminal
// send them. An Esc on its own is told from the start of a sequence by the
// time that passes without another byte. Alt and a key (ESC and the key)
// and the terminal's own answers (ESC _ ... ESC \ and the like, however
// late they come) are no keys: they come out as `unknown`. What is pasted
// between ESC[200~ and ESC[201~ comes out as `pasted` characters, never as
// the keys they would be if typed. Mouse reports in the SGR form
// (ESC[<button;column;row M, or m for a release) and in the older one (ESC[M
// and three bytes: button, column and row, each plus 32) come out as `mouse`.
// Every sequence is read to its end as its grammar says: one cut off is
// waited for a quiet second and then dropped, never taken for Esc; one too
// long to be a key is dropped through its final byte; a paste whose end
// never comes ends after a quiet second.
#pragma once

#include <cstddef>
#include <cstdint>
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
  tab,
  pasted,   // a printable character of a bracketed paste, in KeyPress::character
  mouse,    // a mouse report, in KeyPress::mouse
  unknown,  // anything else: a function key, a character beyond ASCII
};

enum class MouseAction { press, release, motion, wheelUp, wheelDown };

struct MouseReport {
  MouseAction action;
  int button;  // 0 left, 1 middle, 2 right, 3 none (a motion with no button down)
  int column;  // the cell, from 0
  int row;
};

struct KeyPress {
  Key key;
  char character;
  bool shifted = false;    // Shift or Ctrl held with an arrow, or Shift with the wheel
  MouseReport mouse = {MouseAction::motion, 3, 0, 0};
  std::uint64_t milliseconds = 0;  // when it came, for double clicks: set by whoever reads the keys
};

// How long an Esc waits for the rest of a sequence before it counts alone.
constexpr int kEscapeWaitMilliseconds = 100;

// How many such waits with nothing new end a cut-off sequence or a paste.
constexpr int kQuietWaits = 10;

struct KeyDecoder {
  std::string pending;    // bytes that arrived and make no whole key yet
  int waits = 0;          // Esc waits with nothing new while something is unfinished
  bool pasting = false;   // inside a bracketed paste (ESC[200~ ... ESC[201~)
  bool dropping = false;  // inside a control sequence too long to be a key
};

void feedKeyBytes(KeyDecoder& decoder, const char* bytes, std::size_t count);

// Whether the decoder waits for the rest of something (a sequence, a paste):
// the reader then calls nextKey again after kEscapeWaitMilliseconds of quiet.
bool keysUnfinished(const KeyDecoder& decoder);

// Takes the next whole key from what was fed. False when there is none yet;
// with `waitedLongEnough`, what is pending (an Esc, a cut-off sequence) is
// taken for what it can be instead of waiting for more.
bool nextKey(KeyDecoder& decoder, bool waitedLongEnough, KeyPress& press);

}  // namespace velloran
