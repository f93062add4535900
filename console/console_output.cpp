#include "console/console_output.h"

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace velloran {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

char pending[kBufferBytes];
std::size_t pendingBytes = 0;
int firstError = 0;

// Writes what is pending; what a stop left unwritten stays pending.
void writePending(bool wait) {
  if (pendingBytes == 0 || firstError != 0) return;
  const OutputResult result = writeStandardOutput(pending, pendingBytes, wait);
  if (result.error != 0) firstError = result.error;
  std::memmove(pending, pending + result.written, pendingBytes - result.written);
  pendingBytes -= result.written;
}

}  // namespace

void say(std::string_view text) {
  if (firstError != 0) return;
  if (pendingBytes + text.size() > kBufferBytes) writePending(true);
  if (text.size() > kBufferBytes - pendingBytes) {
    sayAtOnce(text);
    return;
  }
  std::memcpy(pending + pendingBytes, text.data(), text.size());
  pendingBytes += text.size();
}

void flushSaid() {
  writePending(true);
}

void flushSaidWithoutWaiting() {
  writePending(false);
  pendingBytes = 0;
}

void sayAtOnce(std::string_view text) {
  writePending(true);
  if (firstError != 0 || pendingBytes != 0) return;  // a stop left the pending text unwritten
  const OutputResult result = writeStandardOutput(text.data(), text.size(), true);
  if (result.error != 0) firstError = result.error;
}

void sayWithoutWaiting(std::string_view text) {
  writePending(false);
  const OutputResult result = writeStandardOutput(text.data(), text.size(), false);
  if (result.error != 0 && firstError == 0) firstError = result.error;
}

int outputError() {
  return firstError;
}

void resetOutputError() {
  firstError = 0;
  pendingBytes = 0;
}

int closeSaid() {
  writePending(true);
  const int closeError = closeStandardOutput();
  return firstError != 0 ? firstError : closeError;
}

}  // namespace velloran
