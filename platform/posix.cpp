// The platform layer on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/platform.h"

namespace velloran {

namespace {

// No system moves more than this in one read or write call (Linux stops at
// just under 2 GiB).
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

std::size_t transferSize(std::size_t wanted) {
  return wanted < kMaxTransfer ? wanted : kMaxTransfer;
}

int descriptorOf(const FileHandle& file) {
  return static_cast<int>(file.native());
}

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

// Shared with the signal handler, so only plain flags and fixed buffers.
volatile std::sig_atomic_t stopSignal = 0;
volatile std::sig_atomic_t stopRequestsCaught = 0;
// The handler writes a byte here, so that a wait in poll wakes up even when
// the signal came just before it began (the self-pipe).
int wakeUpPipe[2] = {-1, -1};
// The file that createExclusive is making or has made and not yet released.
enum NewFileState : int { kNoNewFile, kCreating, kInProgress };
volatile std::sig_atomic_t newFileState = kNoNewFile;
// A second signal that arrived while the new file was being created.
volatile std::sig_atomic_t signalDuringCreate = 0;
// Longer names cannot be created on any file system we know of; such a file
// is simply not guarded.
char newFilePath[4096];
// Standard output is a pipe, a FIFO or a terminal, where a write can wait.
bool outputMayWait = false;

// The full-screen view's terminal events, set by their handlers.
volatile std::sig_atomic_t terminalResized = 0;
volatile std::sig_atomic_t suspendAsked = 0;
volatile std::sig_atomic_t resumed = 0;
// The terminal's mode before the first enterKeyMode, and what a crash or a
// second stop request writes before restoring it; both fixed while key mode
// lasts.
termios modeBefore{};
bool modeSaved = false;
volatile std::sig_atomic_t inKeyMode = 0;
const char* volatile crashRestoreText = "";

// Gives the terminal back from a signal handler: write and tcsetattr are
// safe there.
void restoreTerminalNow() {
  if (inKeyMode == 0) return;
  const char* text = crashRestoreText;
  const ssize_t written = write(STDOUT_FILENO, text, std::strlen(text));
  static_cast<void>(written);
  tcsetattr(STDIN_FILENO, TCSANOW, &modeBefore);
}

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

extern "C" void onTerminalEvent(int signal) {
  const int savedErrno = errno;
  if (signal == SIGWINCH) terminalResized = 1;
  if (signal == SIGTSTP) suspendAsked = 1;
  if (signal == SIGCONT) {
    resumed = 1;
    // Continued before we stopped: the shell already counts us as running
    // again, and a stop now would leave us stopped with nobody to say fg.
    suspendAsked = 0;
  }
  wakeUp();
  errno = savedErrno;
}

// A crash in key mode gives the terminal back before the process ends as
// the crash would end it (and dumps core if it would).
extern "C" void onCrash(int signal) {
  restoreTerminalNow();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

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

bool FileHandle::close() {
  if (native_ == -1) return true;
  const int result = ::close(static_cast<int>(native_));
  native_ = -1;
  return result == 0;
}

FileHandle openForReading(const std::string& path, std::string& whyNot, bool waitForWriter) {
  // Without waiting, a FIFO opens at once (and is then refused as a pipe).
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (waitForWriter ? 0 : O_NONBLOCK));
  struct stat status {};
  int error = descriptor == -1 ? errno : ::fstat(descriptor, &status) != 0 ? errno : 0;
  if (error == 0 && S_ISDIR(status.st_mode)) error = EISDIR;
  if (error == 0) return FileHandle(descriptor, !S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode));
  if (descriptor != -1) ::close(descriptor);
  whyNot = std::strerror(error);
  return FileHandle();
}

CreateResult createExclusive(const std::string& path, FileHandle& file) {
  const bool guarded = stopRequestsCaught && path.size() < sizeof newFilePath;
  if (guarded) {
    std::memcpy(newFilePath, path.c_str(), path.size() + 1);
    newFileState = kCreating;
  }
  file = FileHandle(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  const int openError = errno;
  if (guarded) newFileState = file.isOpen() ? kInProgress : kNoNewFile;
  if (signalDuringCreate != 0) {
    if (file.isOpen()) ::unlink(newFilePath);
    endBySignal(signalDuringCreate);
  }
  if (file.isOpen()) return CreateResult::created;
  return openError == EEXIST ? CreateResult::nameTaken : CreateResult::failed;
}

void releaseNewFile() {
  newFileState = kNoNewFile;
}

bool setFileLength(const FileHandle& file, std::uint64_t length) {
  for (;;) {
    if (::ftruncate(descriptorOf(file), static_cast<off_t>(length)) == 0) return true;
    if (errno != EINTR) return false;
  }
}

bool writeAllAt(const FileHandle& file, std::uint64_t offset, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::pwrite(descriptorOf(file), data, transferSize(size), static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    offset += static_cast<std::uint64_t>(written);
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

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

ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size) {
  ReadResult result{0, false, false};
  while (result.bytesRead < size) {
    if (file.mayWait() && !waitUntilReady(descriptorOf(file), POLLIN)) {
      result.stopped = true;
      break;
    }
    const ssize_t got =
        ::read(descriptorOf(file), data + result.bytesRead, transferSize(size - result.bytesRead));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) result.failed = true;
    if (got <= 0) break;
    result.bytesRead += static_cast<std::size_t>(got);
  }
  return result;
}

ReadResult readAt(const FileHandle& file, std::uint64_t offset, unsigned char* data, std::size_t size) {
  ReadResult result{0, false, false};
  while (result.bytesRead < size) {
    const ssize_t got = ::pread(descriptorOf(file), data + result.bytesRead, transferSize(size - result.bytesRead),
                                static_cast<off_t>(offset + result.bytesRead));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) result.failed = true;
    if (got <= 0) break;
    result.bytesRead += static_cast<std::size_t>(got);
  }
  return result;
}

bool fileLength(const FileHandle& file, std::uint64_t& length) {
  struct stat status {};
  if (::fstat(descriptorOf(file), &status) != 0) return false;
  if (S_ISREG(status.st_mode)) {
    length = static_cast<std::uint64_t>(status.st_size);
    return true;
  }
  // A disk tells its size by where its end is.
  const off_t end = ::lseek(descriptorOf(file), 0, SEEK_END);
  if (end < 0) return false;
  length = static_cast<std::uint64_t>(end);
  return true;
}

SeekResult seekTo(const FileHandle& file, std::uint64_t offset) {
  const auto target = static_cast<off_t>(offset);
  const off_t reached = ::lseek(descriptorOf(file), target, SEEK_SET);
  if (reached == target) return SeekResult::reached;
  // Character devices such as /dev/zero accept any seek and stay at 0.
  if (reached != -1 || errno == ESPIPE) return SeekResult::notSeekable;
  return SeekResult::failed;
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool forEachNameIn(const std::string& folder, const std::function<void(std::string_view)>& eachName) {
  struct Close {
    void operator()(DIR* listing) const { ::closedir(listing); }
  };
  const std::unique_ptr<DIR, Close> listing(::opendir(folder.c_str()));
  if (!listing) return false;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing.get());
    if (entry == nullptr) return errno == 0;
    const std::string_view name(entry->d_name);
    if (name != "." && name != "..") eachName(name);
  }
}

bool isFolder(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    // Only a name that is surely not there is refused; any other error is
    // left for the writes to report, should it last.
    return errno != ENOENT && errno != ENOTDIR;
  }
  return S_ISDIR(status.st_mode);
}

bool isPathSeparator(char c) {
  return c == '/';
}

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

namespace {

// The terminal's size report; false off a terminal, or where it does not
// know its size (a serial line reports zeros).
bool windowSize(winsize& size) {
  return isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col != 0 &&
         size.ws_row != 0;
}

}  // namespace

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

bool enterKeyMode(const char* restoreText) {
  if (!modeSaved) {
    if (tcgetattr(STDIN_FILENO, &modeBefore) != 0) return false;
    modeSaved = true;
  }
  termios mode = modeBefore;
  crashRestoreText = restoreText;
  mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | IEXTEN));
  mode.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL | INLCR | IGNCR | ISTRIP));
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
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
  tcsetattr(STDIN_FILENO, TCSANOW, &modeBefore);
  inKeyMode = 0;
}

void followTerminalEvents() {
  struct sigaction action {};
  action.sa_handler = onTerminalEvent;
  sigemptyset(&action.sa_mask);
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

std::size_t readKeyBytes(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, size);
    if (got < 0 && errno == EINTR) continue;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

void suspendProcess() {
  std::signal(SIGTSTP, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(SIGTSTP);  // stopped here until continued
  followTerminalEvents();
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
