#include "snapshot/console_output.h"

#include <cerrno>
#include <cstdio>

namespace velloran {

namespace {

int firstError = 0;

void check(bool failed) {
  // Some C libraries fail a write without naming a reason.
  if (failed && firstError == 0) firstError = errno != 0 ? errno : EIO;
}

}  // namespace

void say(const char* text) {
  errno = 0;
  check(std::fputs(text, stdout) == EOF);
}

void say(const std::string& text) {
  errno = 0;
  check(std::fwrite(text.data(), 1, text.size(), stdout) != text.size());
}

void flushSaid() {
  errno = 0;
  check(std::fflush(stdout) != 0);
}

int outputError() {
  return firstError;
}

void resetOutputError() {
  firstError = 0;
  std::clearerr(stdout);
}

}  // namespace velloran
