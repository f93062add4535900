// What the Windows files of the platform layer share, and nothing else
// includes: text in UTF-16, the handles, and the state the console control
// handler sets and reads. The interface is platform.h.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace velloran {
namespace windows {

std::size_t transferSize(std::size_t wanted);
HANDLE handleOf(const FileHandle& file);
// A handle as a FileHandle; a pipe or a character device (a console, NUL) can keep a read waiting.
FileHandle ownHandle(HANDLE handle);
std::wstring widePath(const std::string& path);
std::string utf8Of(const wchar_t* text, int count);
// The system's words for an error, without the line end and full stop that end them.
std::string messageOf(DWORD error);

// Stop requests arrive on a thread of their own, which the system starts for
// each console control event: the first event, as a signal number.
extern volatile LONG stopEvent;
// The main thread, whose waits for a pipe a stop request cancels, and
// whether it is in such a wait now.
extern HANDLE mainThread;
extern volatile LONG waitingForPipe;
// Set by the handler, so that a wait for keys wakes up.
extern HANDLE stopWakeUp;
extern volatile LONG stopRequestsCaught;

// The file that createExclusive is making or has made and not yet released.
// It is opened with FILE_SHARE_DELETE, so the handler thread can delete it
// while the main thread still writes; it goes when the process ends.
enum NewFileState : LONG { kNoNewFile, kCreating, kInProgress };
extern volatile LONG newFileState;
// A second request that came while the file was being created: the main
// thread acts on it as soon as CreateFileW returns.
extern volatile LONG secondRequestDuringCreate;
extern wchar_t newFilePath[32768];

// Asked once, in prepareProcess: a console query per byte read, or per
// picture written, is work done again for nothing.
extern bool stdinIsConsole;
extern bool stdoutIsConsole;
extern bool stdoutMayWait;  // standard output is a pipe, where a write can wait

// Gives the console back, also from the handler's thread.
void restoreConsoleNow();

// Runs a read or write that may wait for another program, marked so that a
// stop request cancels it. A stop that came first keeps it from starting,
// unless it is `allowedAfterStop`: then it goes as far as it can at once.
template <typename Call>
BOOL whileWaitingFor(bool mayWait, Call call, bool allowedAfterStop = false) {
  if (!mayWait) return call();
  InterlockedExchange(&waitingForPipe, 1);
  BOOL done = FALSE;
  if (stopEvent == 0 || allowedAfterStop) {
    done = call();
  } else {
    SetLastError(ERROR_OPERATION_ABORTED);
  }
  const DWORD error = GetLastError();
  InterlockedExchange(&waitingForPipe, 0);
  SetLastError(error);
  return done;
}

}  // namespace windows
}  // namespace velloran
