// The platform layer on Windows: UTF-16 paths and command line, console
// input as UTF-16, console control events as stop requests.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it builds on.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <memory>

#include "platform/platform.h"

namespace velloran {

namespace {

// Windows counts the bytes of one read or write call in 32 bits.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

std::size_t transferSize(std::size_t wanted) {
  return wanted < kMaxTransfer ? wanted : kMaxTransfer;
}

HANDLE handleOf(const FileHandle& file) {
  return reinterpret_cast<HANDLE>(file.native());
}

// A pipe or a character device (a console, NUL) can keep a read waiting.
FileHandle ownHandle(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return FileHandle();
  return FileHandle(reinterpret_cast<std::intptr_t>(handle), GetFileType(handle) != FILE_TYPE_DISK);
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

std::string utf8Of(const wchar_t* text, int count) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, text, count, &bytes[0], length, nullptr, nullptr);
  return bytes;
}

// One line typed into the console, as UTF-8, served byte by byte.
struct ConsoleLine {
  std::string bytes;
  std::size_t next = 0;
  bool ended = false;
};

ConsoleLine consoleLine;
// Asked once, in prepareProcess: a console query per byte read, or per
// picture written, is work done again for nothing.
bool stdinIsConsole = false;
bool stdoutIsConsole = false;
// Standard output is a pipe, where a write can wait.
bool stdoutMayWait = false;

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
// The file that createExclusive is making or has made and not yet released.
// It is opened with FILE_SHARE_DELETE, so the handler thread can delete it
// while the main thread still writes; it goes when the process ends.
enum NewFileState : LONG { kNoNewFile, kCreating, kInProgress };
volatile LONG newFileState = kNoNewFile;
// A second request that came while the file was being created: the main
// thread acts on it as soon as CreateFileW returns.
volatile LONG secondRequestDuringCreate = 0;
wchar_t newFilePath[32768];

// The console's modes before the first enterKeyMode, saved once, and what a
// second stop request writes before it restores them.
DWORD inputModeBefore = 0;
DWORD outputModeBefore = 0;
bool modesSaved = false;
volatile LONG inKeyMode = 0;
const char* volatile restoreText = "";

// Gives the console back, also from the handler's thread.
void restoreConsoleNow() {
  if (inKeyMode == 0) return;
  const char* text = restoreText;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), inputModeBefore);
  SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), outputModeBefore);
}

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

// The system's words for an error, without the line end and full stop that
// end them.
std::string messageOf(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? utf8Of(text, static_cast<int>(length)) : "error " + std::to_string(error);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  return message;
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

bool FileHandle::close() {
  if (native_ == -1) return true;
  const BOOL closed = CloseHandle(reinterpret_cast<HANDLE>(native_));
  native_ = -1;
  return closed != 0;
}

FileHandle openForReading(const std::string& path, std::string& whyNot, bool) {
  const std::wstring wide = widePath(path);
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  FileHandle file = ownHandle(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.isOpen()) return file;
  const DWORD error = GetLastError();
  // A directory gives "access denied", which would send the user looking for
  // a permission problem.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  const bool isDirectory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  whyNot = isDirectory ? "Is a directory" : messageOf(error);
  return file;
}

CreateResult createExclusive(const std::string& path, FileHandle& file) {
  const std::wstring wide = widePath(path);
  const bool guarded = stopRequestsCaught != 0 && wide.size() < sizeof newFilePath / sizeof newFilePath[0];
  if (guarded) {
    std::wmemcpy(newFilePath, wide.c_str(), wide.size() + 1);
    InterlockedExchange(&newFileState, kCreating);
  }
  file = ownHandle(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  const DWORD error = GetLastError();
  if (guarded) {
    const LONG state = file.isOpen() ? kInProgress : kNoNewFile;
    // The handler may have taken the "creating" state while it waits for us.
    if (InterlockedCompareExchange(&newFileState, state, kCreating) != kCreating ||
        secondRequestDuringCreate != 0) {
      if (file.isOpen()) {
        file.close();
        DeleteFileW(wide.c_str());
      }
      ExitProcess(STATUS_CONTROL_C_EXIT);
    }
  }
  if (file.isOpen()) return CreateResult::created;
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return CreateResult::nameTaken;
  // A directory under the name gives "access denied"; the attributes of the
  // name itself (a link is not followed) tell it from a real refusal.
  return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES ? CreateResult::nameTaken
                                                                      : CreateResult::failed;
}

bool setFileLength(const FileHandle& file, std::uint64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  return SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) != 0;
}

void releaseNewFile() {
  InterlockedExchange(&newFileState, kNoNewFile);
}

bool writeAllAt(const FileHandle& file, std::uint64_t offset, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    // On a handle opened for synchronous writes, the offset in the OVERLAPPED
    // says where; the call still waits for the write.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!WriteFile(handleOf(file), data, static_cast<DWORD>(transferSize(size)), &written, &at) || written == 0) {
      return false;
    }
    data += written;
    offset += written;
    size -= written;
  }
  return true;
}

ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size) {
  ReadResult result{0, false, false};
  while (result.bytesRead < size) {
    DWORD got = 0;
    const BOOL read = whileWaitingFor(file.mayWait(), [&] {
      return ReadFile(handleOf(file), data + result.bytesRead,
                      static_cast<DWORD>(transferSize(size - result.bytesRead)), &got, nullptr);
    });
    if (!read) {
      const DWORD error = GetLastError();
      result.stopped = stopEvent != 0;
      // A pipe whose writer has gone is the end of the input, not an error.
      result.failed = !result.stopped && error != ERROR_BROKEN_PIPE;
      break;
    }
    if (got == 0) break;
    result.bytesRead += got;
  }
  return result;
}

ReadResult readAt(const FileHandle& file, std::uint64_t offset, unsigned char* data, std::size_t size) {
  ReadResult result{0, false, false};
  while (result.bytesRead < size) {
    OVERLAPPED at{};
    const std::uint64_t position = offset + result.bytesRead;
    at.Offset = static_cast<DWORD>(position & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!ReadFile(handleOf(file), data + result.bytesRead, static_cast<DWORD>(transferSize(size - result.bytesRead)),
                  &got, &at)) {
      result.failed = GetLastError() != ERROR_HANDLE_EOF;
      break;
    }
    if (got == 0) break;
    result.bytesRead += got;
  }
  return result;
}

bool fileLength(const FileHandle& file, std::uint64_t& length) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handleOf(file), &size)) return false;
  length = static_cast<std::uint64_t>(size.QuadPart);
  return true;
}

SeekResult seekTo(const FileHandle& file, std::uint64_t offset) {
  if (file.mayWait()) return SeekResult::notSeekable;
  LARGE_INTEGER target;
  target.QuadPart = static_cast<LONGLONG>(offset);
  LARGE_INTEGER reached;
  const bool moved =
      SetFilePointerEx(handleOf(file), target, &reached, FILE_BEGIN) && reached.QuadPart == target.QuadPart;
  return moved ? SeekResult::reached : SeekResult::failed;
}

bool removeFile(const std::string& path) {
  return DeleteFileW(widePath(path).c_str()) != 0;
}

bool forEachNameIn(const std::string& folder, const std::function<void(std::string_view)>& eachName) {
  struct Close {
    void operator()(void* listing) const { FindClose(listing); }
  };
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW(widePath(folder + "\\*").c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) return false;
  const std::unique_ptr<void, Close> listing(first);
  do {
    const std::string name = utf8Of(found.cFileName, static_cast<int>(std::wcslen(found.cFileName)));
    if (name != "." && name != "..") eachName(name);
  } while (FindNextFileW(listing.get(), &found));
  return GetLastError() == ERROR_NO_MORE_FILES;
}

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    // Only a name that is surely not there is refused; any other error is
    // left for the writes to report, should it last.
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_INVALID_NAME;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isPathSeparator(char c) {
  return c == '/' || c == '\\';
}

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

namespace {

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

std::size_t readKeyBytes(char* buffer, std::size_t size) {
  const std::size_t count = std::min(size, pendingKeys.size());
  std::memcpy(buffer, pendingKeys.data(), count);
  pendingKeys.erase(0, count);
  return count;
}

void suspendProcess() {}

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
