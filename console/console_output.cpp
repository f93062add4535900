#include "console/console_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/platform.h"

namespace velloran {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

char pending[kBufferBytes];
std::size_t pendingBytes = 0;
int firstError = 0;
// What was said last did not end a line; or endOpenLine ended it, and the
// line end the transcript's next message begins with is already there.
bool lineOpen = false;
bool lineEndLent = false;

// What is said: a message's leading line end is left out where endOpenLine
// put it there already, so that a terminal shows the transcript's lines.
std::string_view follow(std::string_view text) {
  if (text.empty()) return text;
  if (lineEndLent && text.front() == '\n') text.remove_prefix(1);
  lineEndLent = false;
  if (!text.empty()) lineOpen = text.back() != '\n';
  return text;
}
// What a stop request cut short, and everything said after it, in order:
// only finishSaid writes it. Empty until a stop request comes.
std::string unfinished;

void keepUnfinished(std::string_view text) {
  try {
    unfinished.append(text);
  } catch (const std::bad_alloc&) {
    // Lost: the run is ending, and the rest of it is still worth trying.
  }
}

// Writes `text`; returns what is left of it, which is only ever something a
// stop request or the time limit cut short.
std::string_view writeOut(std::string_view text, OutputWait wait) {
  if (text.empty() || firstError != 0) return {};
  const OutputResult result = writeStandardOutput(text.data(), text.size(), wait);
  if (result.error != 0) {
    firstError = result.error;
    return {};
  }
  return text.substr(result.written);
}

// Writes what is pending; what a stop request cut short is kept.
void writePending(OutputWait wait) {
  const std::string_view left = writeOut(std::string_view(pending, pendingBytes), wait);
  if (!left.empty() && wait == OutputWait::untilStopped) keepUnfinished(left);
  pendingBytes = 0;
}

}  // namespace

void say(std::string_view text) {
  text = follow(text);
  if (firstError != 0) return;
  if (!unfinished.empty()) {
    keepUnfinished(text);
    return;
  }
  if (pendingBytes + text.size() > kBufferBytes) writePending(OutputWait::untilStopped);
  if (text.size() > kBufferBytes - pendingBytes || !unfinished.empty()) {
    sayAtOnce(text);
    return;
  }
  std::memcpy(pending + pendingBytes, text.data(), text.size());
  pendingBytes += text.size();
}

void flushSaid() {
  writePending(OutputWait::untilStopped);
}

void sayAtOnce(std::string_view text) {
  text = follow(text);
  writePending(OutputWait::untilStopped);
  if (!unfinished.empty()) {
    keepUnfinished(text);
    return;
  }
  const std::string_view left = writeOut(text, OutputWait::untilStopped);
  if (!left.empty()) keepUnfinished(left);
}

void sayWithoutWaiting(std::string_view text) {
  writePending(OutputWait::untilStopped);
  if (unfinished.empty()) writeOut(text, OutputWait::never);
}

void finishSaid() {
  writePending(OutputWait::toTheEnd);
  writeOut(unfinished, OutputWait::toTheEnd);
  unfinished.clear();
}

void sayToTheEnd(std::string_view text) {
  finishSaid();
  writeOut(text, OutputWait::toTheEnd);
}

void endOpenLine() {
  if (lineOpen && standardOutputIsTerminal()) {
    say("\n");
    lineEndLent = true;
  }
  flushSaid();
}

void sayError(std::string_view text) {
  endOpenLine();
  std::string line = "velloran: ";
  line.append(text);
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

void showProgress(std::string_view text) {
  static std::size_t shown = 0;  // the width of the progress on screen
  if (!standardErrorIsTerminal()) return;
  std::string line = "\r";
  line.append(text);
  if (line.size() - 1 < shown) line.append(shown - (line.size() - 1), ' ');
  if (text.empty()) line += '\r';
  shown = text.size();
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

int outputError() {
  return firstError;
}

void resetOutputError() {
  firstError = 0;
  pendingBytes = 0;
  unfinished.clear();
}

int closeSaid() {
  writePending(OutputWait::untilStopped);
  const int closeError = closeStandardOutput();
  return firstError != 0 ? firstError : closeError;
}

}  // namespace velloran
