// The platform layer on Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

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

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Shared with the signal handler, so only plain flags and a fixed buffer.
volatile std::sig_atomic_t stopSignal = 0;
volatile std::sig_atomic_t stopRequestsCaught = 0;
// The file that createExclusive is making or has made and not yet released.
enum NewFileState : int { kNoNewFile, kCreating, kInProgress };
volatile std::sig_atomic_t newFileState = kNoNewFile;
// A second signal that arrived while the new file was being created.
volatile std::sig_atomic_t signalDuringCreate = 0;
// Longer names cannot be created on any file system we know of; such a file
// is simply not guarded.
char newFilePath[4096];

[[noreturn]] void endBySignal(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);  // not reached: the default action ends the process
}

extern "C" void onStopSignal(int signal) {
  if (stopSignal == 0) {
    stopSignal = signal;
    return;
  }
  // A second request: stop at once. unlink and raise are safe in a handler.
  if (newFileState == kCreating) {
    signalDuringCreate = signal;  // createExclusive acts on it when open returns
    return;
  }
  if (newFileState == kInProgress) unlink(newFilePath);
  endBySignal(signal);
}

}  // namespace

bool FileHandle::close() {
  if (native_ == -1) return true;
  const int result = ::close(static_cast<int>(native_));
  native_ = -1;
  return result == 0;
}

FileHandle openForReading(const std::string& path) {
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (file.isOpen() && (::fstat(descriptorOf(file), &status) != 0 || S_ISDIR(status.st_mode))) {
    return FileHandle();
  }
  return file;
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

namespace {

bool writeAllTo(int descriptor, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor, data, transferSize(size));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

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

bool writeStandardOutput(const char* text, std::size_t size) {
  return writeAllTo(STDOUT_FILENO, reinterpret_cast<const unsigned char*>(text), size);
}

ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size) {
  ReadResult result{0, false};
  while (result.bytesRead < size) {
    const ssize_t got =
        ::read(descriptorOf(file), data + result.bytesRead, transferSize(size - result.bytesRead));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) result.failed = true;
    if (got <= 0) break;
    result.bytesRead += static_cast<std::size_t>(got);
  }
  return result;
}

bool seekTo(const FileHandle& file, std::uint64_t offset) {
  const auto target = static_cast<off_t>(offset);
  return ::lseek(descriptorOf(file), target, SEEK_SET) == target;
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
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

void prepareProcess() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

std::vector<std::string> programArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool terminalSize(int& columns, int& rows) {
  struct winsize size {};
  if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return false;
  // A terminal that does not know its size (a serial line) reports zeros.
  if (size.ws_col == 0 || size.ws_row == 0) return false;
  columns = size.ws_col;
  rows = size.ws_row;
  return true;
}

bool enableColourOutput() {
  return true;
}

int readInputByte(std::FILE* stream) {
  return std::getc(stream);
}

void catchStopRequests() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  // Restarted calls: a signal must not turn a console write into an error.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
  stopRequestsCaught = 1;
  for (const int signal : kStopSignals) {
    // A signal the caller chose to ignore (nohup, a background job) stays ignored.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int stopRequest() {
  return stopSignal;
}

void endByStopRequest(int request) {
  endBySignal(request);
}

}  // namespace velloran
