// Windows: console control events as stop requests, and the process's start.
// windows_internal.h first: it brings <windows.h> as every file here wants it.
#include "platform/windows_internal.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <csignal>
#include <cstdio>
#include <cwchar>
#include <memory>

#include "platform/platform.h"

namespace velloran {

namespace {

using namespace windows;

int signalOf(DWORD event) {
  return event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
}

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (InterlockedCompareExchange(&stopEvent, signalOf(event), 0) != 0) {
    // A second request: stop at once. A file being created is not known to
    // exist yet: the main thread removes it once CreateFileW returns.
    InterlockedExchange(&secondRequestDuringCreate, 1);
    if (InterlockedCompareExchange(&newFileState, kNoNewFile, kCreating) == kCreating) {
      Sleep(INFINITE);
    }
    if (InterlockedCompareExchange(&newFileState, kNoNewFile, kInProgress) == kInProgress) {
      DeleteFileW(newFilePath);
    }
    restoreConsoleNow();
    ExitProcess(STATUS_CONTROL_C_EXIT);
  }
  if (stopWakeUp != nullptr) SetEvent(stopWakeUp);
  // The main thread ends the process once it has cleaned up; until then any
  // wait of its for a pipe is cancelled, again and again, since a cancel
  // that comes just before the wait begins misses it. Holding on also gives
  // it its few seconds after closing the console, logoff and shutdown,
  // which end the process as soon as this returns.
  for (;;) {
    if (waitingForPipe != 0 && mainThread != nullptr) CancelSynchronousIo(mainThread);
    Sleep(10);
  }
}

// Opens the null device in place of a standard stream that is missing.
void openOnNullDevice(DWORD which, std::FILE* stream, const char* mode) {
  const HANDLE handle = GetStdHandle(which);
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) return;
  if (std::freopen("NUL", mode, stream) != nullptr) {
    SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
  }
}

}  // namespace

namespace windows {

// Asked once, in prepareProcess: a console query per byte read, or per
// picture written, is work done again for nothing.
bool stdinIsConsole = false;

bool stdoutIsConsole = false;

// Standard output is a pipe, where a write can wait.
bool stdoutMayWait = false;

// Stop requests arrive on a thread of their own, which the system starts
// for each console control event.
volatile LONG stopEvent = 0;  // the first event, as a signal number
// The main thread, whose waits for a pipe a stop request cancels, and
// whether it is in such a wait now.
HANDLE mainThread = nullptr;

// Set by the handler, so that a wait for keys wakes up.
HANDLE stopWakeUp = nullptr;

volatile LONG waitingForPipe = 0;

volatile LONG stopRequestsCaught = 0;

volatile LONG newFileState = kNoNewFile;

// A second request that came while the file was being created: the main
// thread acts on it as soon as CreateFileW returns.
volatile LONG secondRequestDuringCreate = 0;

wchar_t newFilePath[32768];

}  // namespace windows

std::string shellWord(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_of(" \t\"&|<>^%!()") == std::string::npos;
  if (plain) return text;
  // A double quote cannot stand in a Windows file name, so none needs escaping.
  return "\"" + text + "\"";
}

void prepareProcess() {
  openOnNullDevice(STD_INPUT_HANDLE, stdin, "rb");
  openOnNullDevice(STD_OUTPUT_HANDLE, stdout, "w");
  openOnNullDevice(STD_ERROR_HANDLE, stderr, "w");
  _setmode(_fileno(stdin), _O_BINARY);
  DWORD inputMode = 0;
  stdinIsConsole = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &inputMode) != 0;
  // The C runtime would write our UTF-8 names to a console in the ANSI code
  // page; WriteFile hands the bytes over, and the console, set to UTF-8,
  // shows them (a console starts a new line at "\n" by itself).
  DWORD mode = 0;
  stdoutIsConsole = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  if (stdoutIsConsole) SetConsoleOutputCP(CP_UTF8);
  stdoutMayWait = !stdoutIsConsole && GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_DISK;
  // Our own buffer is the only one: nothing is left in the runtime's for it
  // to write, and perhaps wait for, when the process ends.
  if (!stdoutIsConsole) std::setvbuf(stdout, nullptr, _IONBF, 0);
}

std::vector<std::string> programArguments(int, char**) {
  // The runtime's argv is in the ANSI code page, which cannot hold every name.
  struct Release {
    void operator()(wchar_t** list) const { LocalFree(list); }
  };
  int count = 0;
  const std::unique_ptr<wchar_t*, Release> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::string> arguments;
  for (int i = 1; wide && i < count; ++i) {
    arguments.push_back(utf8Of(wide.get()[i], static_cast<int>(std::wcslen(wide.get()[i]))));
  }
  return arguments;
}

void catchStopRequests() {
  if (stopWakeUp == nullptr) stopWakeUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  // A process started in a new process group ignores Ctrl-C until told not to.
  SetConsoleCtrlHandler(nullptr, FALSE);
  InterlockedExchange(&stopRequestsCaught, 1);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int stopRequest() {
  return static_cast<int>(stopEvent);
}

void endByStopRequest(int) {
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

}  // namespace velloran
