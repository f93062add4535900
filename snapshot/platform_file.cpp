#include "platform_file.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#endif

namespace velloran {

namespace {

// No system moves more than this in one read or write call (Linux stops at
// just under 2 GiB, Windows counts in 32 bits).
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

std::size_t transferSize(std::size_t wanted) {
  return wanted < kMaxTransfer ? wanted : kMaxTransfer;
}

}  // namespace

FileHandle::~FileHandle() {
  close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : native_(other.native_) {
  other.native_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    close();
    native_ = other.native_;
    other.native_ = -1;
  }
  return *this;
}

#ifdef _WIN32

namespace {

HANDLE handleOf(const FileHandle& file) {
  return reinterpret_cast<HANDLE>(file.native());
}

FileHandle ownHandle(HANDLE handle) {
  return FileHandle(handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle));
}

// UTF-8 as typed into the console; bytes that are not UTF-8 (a script saved
// in the ANSI code page) are read in that code page instead.
std::wstring widePath(const std::string& path) {
  UINT codePage = CP_UTF8;
  DWORD flags = MB_ERR_INVALID_CHARS;
  int length = MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), nullptr, 0);
  if (length == 0 && !path.empty()) {
    codePage = CP_ACP;
    flags = 0;
    length = MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), nullptr, 0);
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, flags, path.data(), static_cast<int>(path.size()), &wide[0], length);
  return wide;
}

// One line typed into the console, as UTF-8, served byte by byte.
struct ConsoleLine {
  std::string bytes;
  std::size_t next = 0;
  bool ended = false;
};

ConsoleLine consoleLine;
// Asked once, in prepareProcess: a console query per byte read is slow.
bool stdinIsConsole = false;

bool readConsoleLine(HANDLE console, ConsoleLine& line) {
  wchar_t typed[1024];
  DWORD count = 0;
  if (!ReadConsoleW(console, typed, 1024, &count, nullptr) || count == 0) return false;
  // Ctrl-Z at the start of a line ends the input, as it does for the C runtime.
  if (typed[0] == 0x1A) return false;
  const int length = WideCharToMultiByte(CP_UTF8, 0, typed, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
  line.bytes.assign(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, typed, static_cast<int>(count), &line.bytes[0], length, nullptr, nullptr);
  line.next = 0;
  return true;
}

}  // namespace

bool FileHandle::close() {
  if (native_ == -1) return true;
  const BOOL closed = CloseHandle(reinterpret_cast<HANDLE>(native_));
  native_ = -1;
  return closed != 0;
}

FileHandle openForReading(const std::string& path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  return ownHandle(CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

CreateResult createExclusive(const std::string& path, FileHandle& file) {
  const std::wstring wide = widePath(path);
  file = ownHandle(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.isOpen()) return CreateResult::created;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return CreateResult::nameTaken;
  // A directory under the name gives "access denied"; the attributes of the
  // name itself (a link is not followed) tell it from a real refusal.
  return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES ? CreateResult::nameTaken
                                                                      : CreateResult::failed;
}

bool writeAll(const FileHandle& file, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handleOf(file), data, static_cast<DWORD>(transferSize(size)), &written, nullptr) ||
        written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size) {
  ReadResult result{0, false};
  while (result.bytesRead < size) {
    DWORD got = 0;
    if (!ReadFile(handleOf(file), data + result.bytesRead,
                  static_cast<DWORD>(transferSize(size - result.bytesRead)), &got, nullptr)) {
      // A pipe whose writer has gone is the end of the input, not an error.
      result.failed = GetLastError() != ERROR_BROKEN_PIPE;
      break;
    }
    if (got == 0) break;
    result.bytesRead += got;
  }
  return result;
}

bool seekTo(const FileHandle& file, std::uint64_t offset) {
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(offset);
  LARGE_INTEGER reached;
  return SetFilePointerEx(handleOf(file), target, &reached, FILE_BEGIN) && reached.QuadPart == target.QuadPart;
}

bool removeFile(const std::string& path) {
  return DeleteFileW(widePath(path).c_str()) != 0;
}

void prepareProcess() {
  _setmode(_fileno(stdin), _O_BINARY);
  DWORD inputMode = 0;
  stdinIsConsole = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &inputMode) != 0;
  // The C runtime would read our UTF-8 names as the ANSI code page on their
  // way to a console; in binary mode the bytes go through, and the console,
  // set to UTF-8, shows them (a console starts a new line at "\n" by itself).
  // Unbuffered, the runtime would write byte by byte and split the characters.
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) && SetConsoleOutputCP(CP_UTF8)) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::setvbuf(stdout, nullptr, _IOFBF, 4096);
  }
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

#else

bool FileHandle::close() {
  if (native_ == -1) return true;
  const int result = ::close(static_cast<int>(native_));
  native_ = -1;
  return result == 0;
}

namespace {

int descriptorOf(const FileHandle& file) {
  return static_cast<int>(file.native());
}

}  // namespace

FileHandle openForReading(const std::string& path) {
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (file.isOpen() && (::fstat(descriptorOf(file), &status) != 0 || S_ISDIR(status.st_mode))) {
    return FileHandle();
  }
  return file;
}

CreateResult createExclusive(const std::string& path, FileHandle& file) {
  file = FileHandle(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (file.isOpen()) return CreateResult::created;
  return errno == EEXIST ? CreateResult::nameTaken : CreateResult::failed;
}

bool writeAll(const FileHandle& file, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptorOf(file), data, transferSize(size));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
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

void prepareProcess() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

int readInputByte(std::FILE* stream) {
  return std::getc(stream);
}

#endif

}  // namespace velloran
