// Standard output that remembers its first failure. A run whose report was
// lost (a full disk under "velloran ... > log.txt", a closed pipe) must end
// as a failed run, so every print goes through here and is checked.
//
// What is said is gathered in a buffer of a fixed size (nothing here
// allocates, so a print can never fail for memory while a snapshot file is
// open) and handed to the system when flushed, full, or said at once.
#pragma once

#include <string_view>

namespace velloran {

void say(std::string_view text);

// Hands what was said to the system, so that it is on screen now. Waits
// while a pipe or terminal is full, but not past a stop request.
void flushSaid();

// Hands over what can go without waiting, and drops the rest: for the last
// words of a run that was asked to stop.
void flushSaidWithoutWaiting();

// Says `text` and has it on screen now, in one write where the system allows.
void sayAtOnce(std::string_view text);

// Says `text` now, as far as standard output takes it without waiting, and
// also after a stop request: what gives a terminal back must go out.
void sayWithoutWaiting(std::string_view text);

// The error number of the first failed write, or 0 while none failed.
int outputError();

// Forgets an earlier failure and anything unsaid: for a program that runs
// several dumps in turn.
void resetOutputError();

// Flushes and closes standard output: the last check that all of it was
// written. The first error number, or 0.
int closeSaid();

}  // namespace velloran
