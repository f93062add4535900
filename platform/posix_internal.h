// What the POSIX files of the platform layer share, and nothing else
// includes: the state the signal handlers set and read, and the waits they
// end. The interface is platform.h.
#pragma once

#include <csignal>
#include <cstddef>

namespace velloran {
namespace posix {

// The stop request: the first stop signal that came, or 0.
extern volatile std::sig_atomic_t stopSignal;
extern volatile std::sig_atomic_t stopRequestsCaught;
// The handlers write a byte here, so that a wait in poll wakes up even when
// the signal came just before it began (the self-pipe).
extern int wakeUpPipe[2];

// The file that createExclusive is making or has made and not yet released,
// which a second stop request removes before it ends the process.
enum NewFileState : int { kNoNewFile, kCreating, kInProgress };
extern volatile std::sig_atomic_t newFileState;
extern volatile std::sig_atomic_t signalDuringCreate;  // a second signal while the file was being created
extern char newFilePath[4096];

// Standard output is a pipe, a FIFO or a terminal, where a write can wait.
extern bool outputMayWait;

// No system moves more than this in one read or write call.
std::size_t transferSize(std::size_t wanted);

// Waits until `descriptor` is ready for `events`, or a stop request comes (false).
bool waitUntilReady(int descriptor, short events);

// Wakes whoever waits in poll (a byte in the wake-up pipe); safe in a handler.
void wakeUp();

// Ends the process by `signal`, as its default action does.
[[noreturn]] void endBySignal(int signal);

// Gives the terminal back from a signal handler, where key mode is on.
void restoreTerminalNow();

}  // namespace posix
}  // namespace velloran
