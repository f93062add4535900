// Everything that differs between POSIX and Windows, behind one interface:
// exclusive creation, 64-bit positions, binary files, paths and arguments in
// UTF-8, console input, and the signals or console events that stop a run.
// posix.cpp and windows.cpp each implement all of it; CMake picks one.
// Every function reports failure by its result; none throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velloran {

// Owns an open file and closes it when it goes out of scope.
class FileHandle {
 public:
  FileHandle() = default;
  // A POSIX descriptor, or a Windows HANDLE's value; -1 means none.
  explicit FileHandle(std::intptr_t native) : native_(native) {}
  ~FileHandle() { close(); }
  FileHandle(FileHandle&& other) noexcept : native_(other.native_) { other.native_ = -1; }
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      close();
      native_ = other.native_;
      other.native_ = -1;
    }
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool isOpen() const { return native_ != -1; }
  std::intptr_t native() const { return native_; }
  // Closes now and says whether the system accepted everything written.
  // Each system's file defines it.
  bool close();

 private:
  std::intptr_t native_ = -1;
};

// Opens an existing file for reading; a directory does not count as one.
FileHandle openForReading(const std::string& path);

enum class CreateResult { created, nameTaken, failed };

// Creates a new file for writing. Anything already under `path` (a file of any
// kind, a directory, a FIFO, a symbolic link even when it dangles) gives
// nameTaken, and is never opened, followed or emptied.
//
// While stop requests are caught, the new file counts as in progress until
// releaseNewFile(): a second stop request ends the process at once and
// removes it first, so that no incomplete file is left under its name.
CreateResult createExclusive(const std::string& path, FileHandle& file);

// The file made by the last createExclusive is complete, or already removed.
void releaseNewFile();

// Writes all `size` bytes at byte `offset` of the file, however many calls
// the system needs; the file's own position does not matter.
bool writeAllAt(const FileHandle& file, std::uint64_t offset, const unsigned char* data, std::size_t size);

// Writes `size` bytes to standard output past the C library's buffer, which
// must be flushed first: in one call where the system takes it all. A
// Windows file or pipe goes through the runtime, which ends lines with
// "\r\n" there as for the rest of the output.
bool writeStandardOutput(const char* text, std::size_t size);

struct ReadResult {
  std::size_t bytesRead;
  bool failed;  // an error, as opposed to the end of the file
};

// Reads until `size` bytes have arrived or the file ends.
ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size);

// Moves the read position to `offset` bytes from the start.
bool seekTo(const FileHandle& file, std::uint64_t offset);

bool removeFile(const std::string& path);

// False when `path` surely names no folder: nothing is there, or something
// else is (a link to a folder counts as one).
bool isFolder(const std::string& path);

// The separators that end the folder part of a path: "/" here, "/" or "\" on Windows.
bool isPathSeparator(char c);

// Paths are UTF-8 throughout; Windows gets them converted to UTF-16.
//
// Sets the process up before the dialogue. POSIX: a closed output pipe or a
// file size limit must end in an error we can report and clean up after, not
// in a signal that kills us mid-file. Windows: standard input in binary mode,
// so it reads byte for byte as on POSIX, and a console shows our UTF-8.
void prepareProcess();

// The command line's arguments after the program name, in UTF-8. Windows
// reads them from the UTF-16 command line, so that any name can be given.
std::vector<std::string> programArguments(int argc, char** argv);

// The size in character cells of the terminal that standard output shows.
// False when standard output is no terminal or the size is unknown.
bool terminalSize(int& columns, int& rows);

// Readies standard output for 24-bit colour escape sequences. False when it
// is a console that cannot show them (Windows before virtual-terminal
// processing); a file or a pipe takes them as they are.
bool enableColourOutput();

// The next byte of an answer, or EOF. On a Windows console the typed text is
// read as UTF-16 and handed on as UTF-8, so that any name can be typed.
int readInputByte(std::FILE* stream);

// From this call on, the requests that stop a run (POSIX: SIGINT, SIGTERM,
// SIGHUP; Windows: Ctrl-C, Ctrl-Break, closing the console, logoff,
// shutdown) no longer end the process: the first is remembered for the run
// to act on, a second ends the process at once. Before it they end the
// process as they always do.
void catchStopRequests();

// The first stop request caught (a signal number), or 0 when there was none.
int stopRequest();

// Ends the process as the stop request would have had it not been caught:
// by the same signal on POSIX, so that a calling shell stops its script too;
// with the status of a Ctrl-C on Windows.
[[noreturn]] void endByStopRequest(int request);

}  // namespace velloran
