// Standard output that remembers its first failure. A run whose report was
// lost (a full disk under "velloran ... > log.txt", a closed pipe) must end
// as a failed run, so every print goes through here and is checked.
#pragma once

#include <string>
#include <string_view>

namespace velloran {

void say(std::string_view text);

// Hands what was said to the system, so that it is on screen now.
void flushSaid();

// Says `text` and has it on screen now, in one write where the system allows.
void sayAtOnce(const std::string& text);

// The error number of the first failed print or flush, or 0 while none failed.
int outputError();

// Forgets an earlier failure: for a program that runs several dumps in turn.
void resetOutputError();

}  // namespace velloran
