// POSIX: the stop signals and their handling, and the process's start.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace velloran {

namespace {

// Every signal whose default action ends the process, but for the program
// faults (SIGSEGV and the like), which must keep their default, and SIGPIPE
// and SIGXFSZ, which prepareProcess turns into errors.
constexpr int kStopSignals[] = {
    SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

template <typename Action>
void forEachStopSignal(Action action) {
  for (const int signal : kStopSignals) action(signal);
#ifdef SIGRTMIN
  // The real-time signals end the process too; the C library keeps those
  // below SIGRTMIN for itself.
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) action(signal);
#endif
}

}  // namespace

namespace posix {

// Shared with the signal handler, so only plain flags and fixed buffers.
volatile std::sig_atomic_t stopSignal = 0;

volatile std::sig_atomic_t stopRequestsCaught = 0;

// The handler writes a byte here, so that a wait in poll wakes up even when
// the signal came just before it began (the self-pipe).
int wakeUpPipe[2] = {-1, -1};

volatile std::sig_atomic_t newFileState = kNoNewFile;

// A second signal that arrived while the new file was being created.
volatile std::sig_atomic_t signalDuringCreate = 0;

// Longer names cannot be created on any file system we know of; such a file
// is simply not guarded.
char newFilePath[4096];

// Standard output is a pipe, a FIFO or a terminal, where a write can wait.
bool outputMayWait = false;

[[noreturn]] void endBySignal(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);  // not reached: the default action ends the process
}

void wakeUp() {
  if (wakeUpPipe[1] != -1) {
    const ssize_t written = write(wakeUpPipe[1], "!", 1);
    static_cast<void>(written);  // a full pipe is already awake
  }
}

// Waits until `descriptor` is ready for `events`, or a stop request comes
// (false). A stop that came before the wait began is seen too: the handler
// has left a byte in the wake-up pipe.
bool waitUntilReady(int descriptor, short events) {
  for (;;) {
    if (stopSignal != 0) return false;
    pollfd watched[2] = {{descriptor, events, 0}, {wakeUpPipe[0], POLLIN, 0}};
    const int ready = ::poll(watched, wakeUpPipe[0] != -1 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    // An error here shows again, and is reported, by the read or write itself.
    return stopSignal == 0;
  }
}

}  // namespace posix

namespace {

using namespace posix;

extern "C" void onStopSignal(int signal) {
  const int savedErrno = errno;
  if (stopSignal == 0) {
    stopSignal = signal;
    wakeUp();
    errno = savedErrno;
    return;
  }
  // A second request: stop at once. unlink and raise are safe in a handler.
  if (newFileState == kCreating) {
    signalDuringCreate = signal;  // createExclusive acts on it when open returns
    errno = savedErrno;
    return;
  }
  if (newFileState == kInProgress) unlink(newFilePath);
  restoreTerminalNow();
  endBySignal(signal);
}

// Files whose reads or writes can wait for another program: not a regular
// file or a disk.
bool mayWait(int descriptor) {
  struct stat status {};
  return ::fstat(descriptor, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode);
}

void openOnNullDevice(int descriptor) {
  if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) return;
  // The lowest free descriptor is this one, as those below it are open.
  const int opened = ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  if (opened != -1 && opened != descriptor) {
    ::dup2(opened, descriptor);
    ::close(opened);
  }
}

}  // namespace

std::string shellWord(const std::string& text) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("_-+,./:=@%", c) != nullptr;
  };
  if (!text.empty() && std::all_of(text.begin(), text.end(), plain)) return text;
  bool printable = true;
  for (std::size_t at = 0; at < text.size() && printable; at += textPieceAt(text, at).length) {
    printable = textPieceAt(text, at).printable;
  }
  if (printable) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }
  // ANSI-C quoting (bash, zsh, ksh, and POSIX since 2024): the bytes a
  // terminal would act on travel as \xNN, and the shell makes them again.
  std::string quoted = "$'";
  for (std::size_t at = 0; at < text.size();) {
    const TextPiece piece = textPieceAt(text, at);
    for (std::size_t byte = at; byte < at + piece.length; ++byte) {
      const char c = text[byte];
      if (!piece.printable) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        quoted += escaped;
      } else if (c == '\'' || c == '\\') {
        quoted += '\\';
        quoted += c;
      } else {
        quoted += c;
      }
    }
    at += piece.length;
  }
  return quoted + "'";
}

void prepareProcess() {
  for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) openOnNullDevice(descriptor);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  outputMayWait = mayWait(STDOUT_FILENO);
}

std::vector<std::string> programArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void catchStopRequests() {
  if (wakeUpPipe[0] == -1 && ::pipe(wakeUpPipe) == 0) {
    for (const int end : wakeUpPipe) {
      ::fcntl(end, F_SETFD, FD_CLOEXEC);
      ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
  }
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  // No SA_RESTART: a read or write that waits for another program returns,
  // so that a stop is acted on at once.
  action.sa_flags = 0;
  sigemptyset(&action.sa_mask);
  forEachStopSignal([&action](int signal) { sigaddset(&action.sa_mask, signal); });
  stopRequestsCaught = 1;
  forEachStopSignal([&action](int signal) {
    // A signal the caller chose to ignore (nohup, a background job) stays ignored.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) return;
    sigaction(signal, &action, nullptr);
  });
}

int stopRequest() {
  return stopSignal;
}

void endByStopRequest(int request) {
  endBySignal(request);
}

}  // namespace velloran
