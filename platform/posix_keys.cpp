// POSIX: the terminal's key mode, its events (a new size, Ctrl-Z, fg) and
// giving it back before every stop.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace velloran {

namespace {

using namespace posix;

// The full-screen view's terminal events, set by their handlers.
volatile std::sig_atomic_t terminalResized = 0;

volatile std::sig_atomic_t suspendAsked = 0;

volatile std::sig_atomic_t resumed = 0;

// How often the process was continued (SIGCONT), and how often it had been
// when the last Ctrl-Z came: a continue in between cancels the stop that
// Ctrl-Z asked for, since nobody would continue us after it.
volatile std::sig_atomic_t continuations = 0;

volatile std::sig_atomic_t continuationsAtCtrlZ = 0;

// followTerminalEvents was called: the caller suspends itself on Ctrl-Z.
// Before that, key mode suspends by itself, from the signal's handler.
volatile std::sig_atomic_t callerSuspends = 0;

// The terminal's mode before the first enterKeyMode, and what a crash or a
// second stop request writes before restoring it; both fixed while key mode
// lasts.
termios modeBefore{};

bool modeSaved = false;

volatile std::sig_atomic_t inKeyMode = 0;

const char* volatile crashRestoreText = "";

// The mode key mode sets, for taking the terminal again after a stop.
termios modeForKeys{};

// The signals a process outside the terminal's foreground gets for using it:
// held off while the terminal is given back, which must finish even when
// the shell has already taken the terminal (a parent `sh -c` stopped first).
sigset_t terminalStops() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTTOU);
  sigaddset(&stops, SIGTTIN);
  return stops;
}

// Gives the terminal the mode saved before key mode, as a process outside
// its foreground may; safe in a signal handler.
void setModeBefore() {
  const sigset_t stops = terminalStops();
  sigset_t before;
  sigprocmask(SIG_BLOCK, &stops, &before);
  tcsetattr(STDIN_FILENO, TCSANOW, &modeBefore);
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

// Stops the process as Ctrl-Z does and returns once it is continued; not at
// all when a continue came after `continuationsBefore` was read. Safe in a
// signal handler.
void stopUnlessContinued(std::sig_atomic_t continuationsBefore) {
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, SIGTSTP);
  sigset_t before;
  sigprocmask(SIG_BLOCK, &only, &before);
  std::signal(SIGTSTP, SIG_DFL);
  // Pending while blocked: a SIGCONT from now on discards it, and one that
  // came already is seen in the count.
  raise(SIGTSTP);
  // A continue that is held off (in the Ctrl-Z handler) is pending, not counted.
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  if (continuations != continuationsBefore || sigismember(&pending, SIGCONT) == 1) {
    std::signal(SIGTSTP, SIG_IGN);  // drops the pending stop
  }
  sigprocmask(SIG_UNBLOCK, &only, nullptr);  // stopped here until continued
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

void followSuspendInKeyMode();

extern "C" void onTerminalEvent(int signal) {
  const int savedErrno = errno;
  if (signal == SIGWINCH) terminalResized = 1;
  if (signal == SIGTSTP) {
    suspendAsked = 1;
    continuationsAtCtrlZ = continuations;
  }
  if (signal == SIGCONT) {
    continuations = continuations + 1;
    resumed = 1;
    // Continued before we stopped: the shell already counts us as running
    // again, and a stop now would leave us stopped with nobody to say fg.
    suspendAsked = 0;
  }
  wakeUp();
  errno = savedErrno;
}

// Ctrl-Z in key mode before the caller follows the terminal's events (while
// the terminal is asked what it draws): the terminal is given back before
// the stop and taken again after it.
extern "C" void onSuspendInKeyMode(int) {
  const int savedErrno = errno;
  const std::sig_atomic_t continuationsBefore = continuations;
  restoreTerminalNow();
  stopUnlessContinued(continuationsBefore);
  followSuspendInKeyMode();
  // Outside the foreground (continued by bg), SIGTTOU stops us here until fg.
  const sigset_t stops = terminalStops();
  sigprocmask(SIG_UNBLOCK, &stops, nullptr);
  if (inKeyMode != 0) tcsetattr(STDIN_FILENO, TCSANOW, &modeForKeys);
  errno = savedErrno;
}

extern "C" void onContinued(int) {
  continuations = continuations + 1;
}

void followSuspendInKeyMode() {
  struct sigaction action {};
  action.sa_handler = onSuspendInKeyMode;
  action.sa_mask = terminalStops();
  sigaddset(&action.sa_mask, SIGCONT);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &action, nullptr);
  struct sigaction continued {};
  continued.sa_handler = onContinued;
  sigemptyset(&continued.sa_mask);
  sigaddset(&continued.sa_mask, SIGTSTP);
  continued.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &continued, nullptr);
}

// A crash in key mode gives the terminal back before the process ends as
// the crash would end it (and dumps core if it would).
extern "C" void onCrash(int signal) {
  restoreTerminalNow();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

namespace posix {

// Gives the terminal back from a signal handler: write and tcsetattr are
// safe there.
void restoreTerminalNow() {
  if (inKeyMode == 0) return;
  const char* text = crashRestoreText;
  const ssize_t written = write(STDOUT_FILENO, text, std::strlen(text));
  static_cast<void>(written);
  setModeBefore();
}

}  // namespace posix

bool enterKeyMode(const char* restoreText) {
  if (!modeSaved) {
    if (tcgetattr(STDIN_FILENO, &modeBefore) != 0) return false;
    modeSaved = true;
  }
  termios mode = modeBefore;
  crashRestoreText = restoreText;
  mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | IEXTEN));
  mode.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL | INLCR | IGNCR | ISTRIP));
  // A read never waits: keys that poll saw may have gone to a shell (fg
  // typed with the Ctrl-Z) by the time they are read.
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  modeForKeys = mode;
  // From the first instant the terminal is taken, a Ctrl-Z gives it back first.
  if (callerSuspends == 0) followSuspendInKeyMode();
  // TCSANOW: keys typed meanwhile stay to be read.
  if (tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) return false;
  inKeyMode = 1;
  struct sigaction crash {};
  crash.sa_handler = onCrash;
  sigemptyset(&crash.sa_mask);
  crash.sa_flags = SA_RESETHAND;
  for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS}) sigaction(signal, &crash, nullptr);
  return true;
}

void leaveKeyMode() {
  if (inKeyMode == 0) return;
  setModeBefore();
  inKeyMode = 0;
  if (callerSuspends == 0) {
    std::signal(SIGTSTP, SIG_DFL);
    std::signal(SIGCONT, SIG_DFL);
  }
}

void followTerminalEvents() {
  callerSuspends = 1;
  struct sigaction action {};
  action.sa_handler = onTerminalEvent;
  // Ctrl-Z and a continue never interrupt each other's handler, so that the
  // count a Ctrl-Z reads is the one before any continue that follows it.
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGTSTP);
  sigaddset(&action.sa_mask, SIGCONT);
  action.sa_flags = 0;
  for (const int signal : {SIGWINCH, SIGTSTP, SIGCONT}) sigaction(signal, &action, nullptr);
}

unsigned waitForTerminal(int timeoutMilliseconds) {
  pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeUpPipe[0], POLLIN, 0}};
  // An earlier wait may have emptied the wake-up pipe of this request.
  if (stopSignal != 0) timeoutMilliseconds = 0;
  int ready = ::poll(watched, wakeUpPipe[0] != -1 ? 2 : 1, timeoutMilliseconds);
  if (ready < 0 && errno != EINTR) return kStopRequested;  // nothing more can be read
  char drained[64];
  while (wakeUpPipe[0] != -1 && ::read(wakeUpPipe[0], drained, sizeof drained) > 0) {
  }
  unsigned events = 0;
  if (ready > 0 && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) events |= kKeysReady;
  if (stopSignal != 0) events |= kStopRequested;
  if (terminalResized != 0) events |= kResized;
  if (suspendAsked != 0) events |= kSuspendAsked;
  if (resumed != 0) events |= kResumed;
  terminalResized = suspendAsked = resumed = 0;
  return events;
}

std::size_t readKeyBytes(char* buffer, std::size_t size, bool& ended) {
  ended = false;
  for (;;) {
    // Key mode reads with VMIN 0: nothing waiting is 0 at once.
    const ssize_t got = ::read(STDIN_FILENO, buffer, size);
    if (got > 0) return static_cast<std::size_t>(got);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return 0;
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    ended = got < 0 || (::poll(&input, 1, 0) > 0 && (input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0);
    return 0;
  }
}

void suspendProcess() {
  stopUnlessContinued(continuationsAtCtrlZ);
  followTerminalEvents();
}

}  // namespace velloran
