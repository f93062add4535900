#include "console/console_output.h"

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace velloran {

namespace {

int firstError = 0;

void check(bool failed) {
  // Some C libraries fail a write without naming a reason.
  if (failed && firstError == 0) firstError = errno != 0 ? errno : EIO;
}

}  // namespace

void say(std::string_view text) {
  errno = 0;
  check(std::fwrite(text.data(), 1, text.size(), stdout) != text.size());
}

void flushSaid() {
  errno = 0;
  check(std::fflush(stdout) != 0);
}

void sayAtOnce(const std::string& text) {
  // Through stdio a long text leaves in pieces: the buffer's fill, whole
  // blocks, the rest.
  flushSaid();
  if (firstError != 0) return;
  errno = 0;
  check(!writeStandardOutput(text.data(), text.size()));
}

int outputError() {
  return firstError;
}

void resetOutputError() {
  firstError = 0;
  std::clearerr(stdout);
}

}  // namespace velloran
