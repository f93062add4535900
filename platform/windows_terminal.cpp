// Windows: standard output, the console and its keys.
// windows_internal.h first: it brings <windows.h> as every file here wants it.
#include "platform/windows_internal.h"


#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace velloran {

namespace {

using namespace windows;

// One line typed into the console, as UTF-8, served byte by byte.
struct ConsoleLine {
  std::string bytes;
  std::size_t next = 0;
  bool ended = false;
};

ConsoleLine consoleLine;

bool readConsoleLine(HANDLE console, ConsoleLine& line) {
  wchar_t typed[1024];
  DWORD count = 0;
  if (!ReadConsoleW(console, typed, 1024, &count, nullptr) || count == 0) return false;
  // Ctrl-Z at the start of a line ends the input, as it does for the C runtime.
  if (typed[0] == 0x1A) return false;
  line.bytes = utf8Of(typed, static_cast<int>(count));
  line.next = 0;
  return true;
}

// The console's modes before the first enterKeyMode, saved once, and what a
// second stop request writes before it restores them.
DWORD inputModeBefore = 0;

DWORD outputModeBefore = 0;

bool modesSaved = false;

volatile LONG inKeyMode = 0;

const char* volatile restoreText = "";

// Key bytes read from the console and not yet handed on, as UTF-8.
std::string pendingKeys;

bool consoleResized = false;

// Takes every input record waiting: key presses as their characters (in VT
// input mode, the keys that have no character come as escape sequences),
// and size changes.
void takeConsoleInput() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD waiting = 0;
  while (GetNumberOfConsoleInputEvents(input, &waiting) && waiting > 0) {
    INPUT_RECORD records[64];
    DWORD count = 0;
    if (!ReadConsoleInputW(input, records, 64, &count) || count == 0) return;
    for (DWORD i = 0; i < count; ++i) {
      const INPUT_RECORD& record = records[i];
      if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) consoleResized = true;
      if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
      const wchar_t character = record.Event.KeyEvent.uChar.UnicodeChar;
      if (character == 0) continue;
      for (WORD repeat = 0; repeat < record.Event.KeyEvent.wRepeatCount; ++repeat) {
        pendingKeys += utf8Of(&character, 1);
      }
    }
  }
}

}  // namespace

namespace windows {

// Gives the console back, also from the handler's thread.
void restoreConsoleNow() {
  if (inKeyMode == 0) return;
  const char* text = restoreText;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), inputModeBefore);
  SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), outputModeBefore);
}

}  // namespace windows

OutputResult writeStandardOutput(const char* text, std::size_t size, OutputWait wait) {
  OutputResult result{0, 0, false};
  while (result.written < size) {
    const std::size_t chunk = transferSize(size - result.written);
    DWORD written = 0;
    BOOL done;
    if (stdoutIsConsole) {
      done = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text + result.written, static_cast<DWORD>(chunk), &written,
                       nullptr);
    } else {
      // A file or a pipe is in text mode: the runtime turns "\n" into "\r\n".
      // After a stop, the handler cancels a write that would wait.
      done = whileWaitingFor(
          stdoutMayWait,
          [&] {
            written = static_cast<DWORD>(std::fwrite(text + result.written, 1, chunk, stdout));
            return static_cast<BOOL>(written == chunk && std::fflush(stdout) == 0);
          },
          wait != OutputWait::untilStopped);
    }
    result.written += written;
    if (!done) {
      result.stopped = stopEvent != 0;
      if (!result.stopped) result.error = errno != 0 ? errno : EIO;
      return result;
    }
  }
  return result;
}

int closeStandardOutput() {
  return std::fclose(stdout) == 0 ? 0 : errno;
}

bool terminalSize(int& columns, int& rows) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return false;
  // The visible window, not the whole buffer with its scrollback.
  columns = info.srWindow.Right - info.srWindow.Left + 1;
  rows = info.srWindow.Bottom - info.srWindow.Top + 1;
  return columns > 0 && rows > 0;
}

bool terminalCellPixels(int&, int&) {
  return false;  // the console answers ESC[16t where it knows
}

std::string terminalType() {
  wchar_t name[256];
  const DWORD length = GetEnvironmentVariableW(L"TERM", name, 256);
  return length > 0 && length < 256 ? utf8Of(name, static_cast<int>(length)) : "";
}

bool enableColourOutput() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(output, &mode)) return true;  // a file or a pipe
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int readInputByte(std::FILE* stream) {
  if (stream != stdin || !stdinIsConsole) return std::getc(stream);
  ConsoleLine& line = consoleLine;
  while (!line.ended && line.next == line.bytes.size()) {
    line.ended = !readConsoleLine(GetStdHandle(STD_INPUT_HANDLE), line);
  }
  if (line.ended) return EOF;
  return static_cast<unsigned char>(line.bytes[line.next++]);
}

bool standardStreamsAreTerminals() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0 &&
         GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool standardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool standardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool enterKeyMode(const char* leaveText) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!modesSaved) {
    if (!GetConsoleMode(input, &inputModeBefore) || !GetConsoleMode(output, &outputModeBefore)) return false;
    modesSaved = true;
  }
  restoreText = leaveText;
  // Ctrl-C stays a console event (ENABLE_PROCESSED_INPUT), as it is a stop request.
  const DWORD keys = (inputModeBefore & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_QUICK_EDIT_MODE)) |
                     ENABLE_WINDOW_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT | ENABLE_EXTENDED_FLAGS;
  if (!SetConsoleMode(input, keys)) return false;
  SetConsoleMode(output, outputModeBefore | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  InterlockedExchange(&inKeyMode, 1);
  return true;
}

void leaveKeyMode() {
  if (inKeyMode == 0) return;
  InterlockedExchange(&inKeyMode, 0);
  SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), inputModeBefore);
  SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), outputModeBefore);
}

void followTerminalEvents() {}

unsigned waitForTerminal(int timeoutMilliseconds) {
  // A stop request is reported below before any wait.
  const DWORD limit = timeoutMilliseconds < 0 ? INFINITE : static_cast<DWORD>(timeoutMilliseconds);
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    takeConsoleInput();
    unsigned events = 0;
    if (!pendingKeys.empty()) events |= kKeysReady;
    if (stopEvent != 0) events |= kStopRequested;
    if (consoleResized) events |= kResized;
    consoleResized = false;
    if (events != 0) return events;
    const ULONGLONG waited = GetTickCount64() - start;
    if (limit != INFINITE && waited >= limit) return 0;
    const HANDLE handles[2] = {GetStdHandle(STD_INPUT_HANDLE), stopWakeUp};
    const DWORD left = limit == INFINITE ? INFINITE : static_cast<DWORD>(limit - waited);
    if (WaitForMultipleObjects(stopWakeUp != nullptr ? 2 : 1, handles, FALSE, left) == WAIT_FAILED) {
      return kStopRequested;  // nothing more can be read
    }
  }
}

std::size_t readKeyBytes(char* buffer, std::size_t size, bool& ended) {
  ended = false;  // a console's input that ends fails the wait: a stop request
  const std::size_t count = std::min(size, pendingKeys.size());
  std::memcpy(buffer, pendingKeys.data(), count);
  pendingKeys.erase(0, count);
  return count;
}

void suspendProcess() {}

}  // namespace velloran
