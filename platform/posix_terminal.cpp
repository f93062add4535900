// POSIX: standard output and the terminal's size and kind.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace velloran {

namespace {

using namespace posix;

// Whether `descriptor` takes a write within `milliseconds`, stop request or
// not (0: now).
bool readyWithin(int descriptor, int milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    pollfd watched = {descriptor, POLLOUT, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int ready = ::poll(&watched, 1, static_cast<int>(std::max<std::int64_t>(0, left.count())));
    if (ready < 0 && errno == EINTR && left.count() > 0) continue;
    // An error shows again, and is reported, by the write itself.
    return ready != 0;
  }
}

// Whether standard output takes the next piece as `wait` says.
bool outputReady(OutputWait wait) {
  switch (wait) {
    case OutputWait::untilStopped:
      return waitUntilReady(STDOUT_FILENO, POLLOUT);
    case OutputWait::never:
      return readyWithin(STDOUT_FILENO, 0);
    case OutputWait::toTheEnd:
      return readyWithin(STDOUT_FILENO, kGiveUpMilliseconds);
  }
  return false;
}

// The terminal's size report; false off a terminal, or where it does not
// know its size (a serial line reports zeros).
bool windowSize(winsize& size) {
  return isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col != 0 &&
         size.ws_row != 0;
}


}  // namespace

OutputResult writeStandardOutput(const char* text, std::size_t size, OutputWait wait) {
  OutputResult result{0, 0, false};
  while (result.written < size) {
    if (outputMayWait && !outputReady(wait)) {
      result.stopped = stopSignal != 0;
      return result;
    }
    // Unless a stop request may cut it short, a piece that a ready pipe or
    // terminal surely takes whole (PIPE_BUF is at least 512 bytes everywhere,
    // a terminal says it is ready with 256 free); a bigger write could wait
    // for room with nothing to end the wait.
    const std::size_t piece = wait == OutputWait::untilStopped || !outputMayWait
                                  ? transferSize(size - result.written)
                                  : std::min<std::size_t>(size - result.written, 256);
    const ssize_t written = ::write(STDOUT_FILENO, text + result.written, piece);
    if (written < 0 && errno == EINTR) continue;  // the wait above sees a stop
    if (written <= 0) {
      result.error = written < 0 ? errno : EIO;
      return result;
    }
    result.written += static_cast<std::size_t>(written);
  }
  return result;
}

int closeStandardOutput() {
  return ::close(STDOUT_FILENO) == 0 || errno == EINTR ? 0 : errno;
}

bool terminalSize(int& columns, int& rows) {
  struct winsize size {};
  if (!windowSize(size)) return false;
  columns = size.ws_col;
  rows = size.ws_row;
  return true;
}

bool terminalCellPixels(int& width, int& height) {
  struct winsize size {};
  if (!windowSize(size) || size.ws_xpixel < size.ws_col || size.ws_ypixel < size.ws_row) return false;
  width = size.ws_xpixel / size.ws_col;
  height = size.ws_ypixel / size.ws_row;
  return true;
}

std::string terminalType() {
  const char* term = std::getenv("TERM");
  return term != nullptr ? term : "";
}

bool enableColourOutput() {
  if (!isatty(STDOUT_FILENO)) return true;
  const char* term = std::getenv("TERM");
  return term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

int readInputByte(std::FILE* stream) {
  return std::getc(stream);
}

bool standardStreamsAreTerminals() {
  return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1;
}

bool standardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool standardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace velloran
