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

// Says `text` and has it on screen now, in one write where the system allows.
// What a stop request cuts short is kept, and written first by finishSaid.
void sayAtOnce(std::string_view text);

// Says `text` as far as standard output takes it without waiting, and drops
// the rest: for queries to a terminal, which are worthless late.
void sayWithoutWaiting(std::string_view text);

// Writes everything said, also what a stop request cut short, waiting for a
// slow reader also after a stop request: for the last words of a run, which
// a calling script needs. A reader that takes nothing for a few seconds
// (kGiveUpMilliseconds) is given up on, and the rest dropped.
void finishSaid();

// finishSaid, then `text` the same way: what gives a terminal back.
void sayToTheEnd(std::string_view text);

// Ends the line that what was said left open, where standard output is a
// terminal: the transcript's messages end without a line end, and what comes
// next on that terminal (standard error, the shell's prompt) starts a line.
void endOpenLine();

// A problem on standard error, "velloran: " and `text` on a line of its own.
void sayError(std::string_view text);

// Progress on standard error where it is a terminal: `text` over the last
// progress shown; an empty text wipes it. Nothing elsewhere.
void showProgress(std::string_view text);

// The error number of the first failed write, or 0 while none failed.
int outputError();

// Forgets an earlier failure and anything unsaid: for a program that runs
// several dumps in turn.
void resetOutputError();

// Flushes and closes standard output: the last check that all of it was
// written. The first error number, or 0.
int closeSaid();

}  // namespace velloran
