// Everything that differs between POSIX and Windows, behind one interface:
// exclusive creation, 64-bit positions, binary files, paths and arguments in
// UTF-8, console input and output, and the signals or console events that
// stop a run. posix.cpp and windows.cpp each implement all of it; CMake
// picks one. Every function reports failure by its result; none throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velloran {

// Owns an open file and closes it when it goes out of scope.
class FileHandle {
 public:
  FileHandle() = default;
  // A POSIX descriptor, or a Windows HANDLE's value; -1 means none. A file
  // that `mayWait` (a pipe, a FIFO, a terminal) can keep a read waiting.
  explicit FileHandle(std::intptr_t native, bool mayWait = false) : native_(native), mayWait_(mayWait) {}
  ~FileHandle() { close(); }
  FileHandle(FileHandle&& other) noexcept : native_(other.native_), mayWait_(other.mayWait_) {
    other.native_ = -1;
  }
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) {
      close();
      native_ = other.native_;
      mayWait_ = other.mayWait_;
      other.native_ = -1;
    }
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool isOpen() const { return native_ != -1; }
  std::intptr_t native() const { return native_; }
  bool mayWait() const { return mayWait_; }
  // Closes now and says whether the system accepted everything written.
  // Each system's file defines it.
  bool close();

 private:
  std::intptr_t native_ = -1;
  bool mayWait_ = false;
};

// Opens an existing file for reading; a directory does not count as one.
// When it fails, `whyNot` says why in the system's words. A FIFO's opening
// waits for a writer unless `waitForWriter` is false; then its reads do
// not wait either, which is for a file that is only looked at and refused.
FileHandle openForReading(const std::string& path, std::string& whyNot, bool waitForWriter = true);

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

// Makes the file `length` bytes long; bytes never written read as zeros, and
// where the file system can, take no room on the disk (a sparse file).
bool setFileLength(const FileHandle& file, std::uint64_t length);

// Writes all `size` bytes at byte `offset` of the file, however many calls
// the system needs; the file's own position does not matter.
bool writeAllAt(const FileHandle& file, std::uint64_t offset, const unsigned char* data, std::size_t size);

struct OutputResult {
  std::size_t written;  // bytes taken, also when the write ended early
  int error;            // the system's error number when it failed, else 0
  bool stopped;         // a stop request came while it waited
};

// How long a write to standard output may wait for a pipe or terminal that
// is full.
enum class OutputWait {
  untilStopped,  // while it is full, but not past a stop request
  never,         // only what it takes at once
  toTheEnd,      // also after a stop request, for the last words of a run and
                 // what gives a terminal back: given up only once nothing has
                 // gone for kGiveUpMilliseconds
};

// A reader that takes nothing for this long is given up on.
constexpr int kGiveUpMilliseconds = 2000;

// Writes to standard output, past any C library buffer: in one call where
// the system takes it all, waiting as `wait` says. A Windows file or pipe
// goes through the runtime, which ends lines with "\r\n" there; a Windows
// pipe is never waited for after a stop request.
OutputResult writeStandardOutput(const char* text, std::size_t size, OutputWait wait);

// Closes standard output, the last check that all of it reached its file.
// The system's error number, or 0.
int closeStandardOutput();

struct ReadResult {
  std::size_t bytesRead;
  bool failed;   // an error, as opposed to the end of the file
  bool stopped;  // a stop request came while it waited for a pipe or terminal
};

// Reads until `size` bytes have arrived or the file ends.
ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size);

// Reads up to `size` bytes at byte `offset`, without moving the file's own
// position; fewer only at the file's end.
ReadResult readAt(const FileHandle& file, std::uint64_t offset, unsigned char* data, std::size_t size);

// The length of a file that can seek (a regular file or a disk).
bool fileLength(const FileHandle& file, std::uint64_t& length);

enum class SeekResult { reached, notSeekable, failed };

// Moves the read position to `offset` bytes from the start. A pipe or a
// device that ignores positions is notSeekable: it can only be read forward.
SeekResult seekTo(const FileHandle& file, std::uint64_t offset);

bool removeFile(const std::string& path);

// The system's words for why the last call of a file function above failed
// (createExclusive, writeAllAt, setFileLength, close), as users read them:
// "Permission denied", "No space left on device"; "" where it said nothing.
std::string lastSystemError();

// Calls `eachName` with the name of every entry of `folder` (not "." and
// ".."), whatever it is. False when the folder cannot be listed.
bool forEachNameIn(const std::string& folder, const std::function<void(std::string_view)>& eachName);

// False when `path` surely names no folder: nothing is there, or something
// else is (a link to a folder counts as one).
bool isFolder(const std::string& path);

// The separators that end the folder part of a path: "/" here, "/" or "\" on Windows.
bool isPathSeparator(char c);

// What follows a path's last separator: the file's own name.
std::string fileNameOf(const std::string& path);

// `text` as one word for the system's shell, to be pasted into a command:
// as it is when nothing in it is special there, else quoted (POSIX: in
// single quotes, a quote within as '\''; or, where it holds a control byte or
// one that is not UTF-8, as $'...' with such bytes as \xNN, so that nothing
// raw reaches the terminal; Windows: in double quotes).
std::string shellWord(const std::string& text);

// One character of text, as far as a terminal is concerned.
struct TextPiece {
  std::size_t length;  // its bytes, from 1
  bool printable;      // false: a control (C0, DEL, C1) or a byte that is not
                       // well-formed UTF-8, which a terminal may act on
};

// The character that starts at byte `at` (below text.size()) of `text`.
TextPiece textPieceAt(std::string_view text, std::size_t at);

// Calls `put` with `text` in pieces, as it is safe to show on a terminal:
// each byte a terminal would act on as \xNN. For names, which may hold
// anything; allocates nothing.
void forEachPrintablePiece(std::string_view text, void (*put)(std::string_view piece));

// The same pieces as one string.
std::string printableText(std::string_view text);

// Paths are UTF-8 throughout; Windows gets them converted to UTF-16.
//
// Sets the process up before anything is opened. A standard stream that is
// closed is opened on the null device, so that no file of ours can take its
// place (a closed input then reads as input that ended). POSIX: a closed
// output pipe or a file size limit must end in an error we can report and
// clean up after, not in a signal that kills us mid-file. Windows: standard
// input in binary mode, so it reads byte for byte as on POSIX, and a console
// shows our UTF-8.
void prepareProcess();

// The command line's arguments after the program name, in UTF-8. Windows
// reads them from the UTF-16 command line, so that any name can be given.
std::vector<std::string> programArguments(int argc, char** argv);

// The size in character cells of the terminal that standard output shows.
// False when standard output is no terminal or the size is unknown.
bool terminalSize(int& columns, int& rows);

// The size in pixels of one character cell of that terminal, where it tells
// (POSIX: TIOCGWINSZ's pixel fields); false where it does not.
bool terminalCellPixels(int& width, int& height);

// The terminal's name as the environment gives it (TERM), or "".
std::string terminalType();

// Readies standard output for 24-bit colour escape sequences. False when it
// is a terminal that cannot show them: POSIX, one whose TERM is unset or
// "dumb"; Windows, a console without virtual-terminal processing. A file or
// a pipe takes them as they are.
bool enableColourOutput();

// The next byte of an answer, or EOF. On a Windows console the typed text is
// read as UTF-16 and handed on as UTF-8, so that any name can be typed.
int readInputByte(std::FILE* stream);

// ---- A full-screen view -------------------------------------------------------

// Whether standard input and standard output are both a terminal (a console).
bool standardStreamsAreTerminals();

// Whether standard output is a terminal (a console).
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();

// Sets the terminal on standard input so that each key arrives at once and
// is not echoed, while the keys that send signals (Ctrl-C, Ctrl-Z, Ctrl-\)
// still send them; POSIX also turns off flow control (Ctrl-S). The mode it
// had is saved by the first call, once, and every later call starts from
// that, so that a mode someone left behind (a shell after Ctrl-Z and fg)
// is never taken for the user's. Should the process crash or be ended by a
// second stop request meanwhile, `restoreText` (a constant) is written to
// standard output and the saved mode restored before it ends. False when
// the terminal cannot be set.
bool enterKeyMode(const char* restoreText);

// Gives the terminal back the mode the first enterKeyMode saved.
void leaveKeyMode();

// From this call on, a resized terminal (SIGWINCH), Ctrl-Z (SIGTSTP) and a
// continued process (SIGCONT) are reported by waitForTerminal (POSIX; on
// Windows the console reports resizing, and there is no suspending).
void followTerminalEvents();

// What waitForTerminal found; 0 when it timed out.
enum TerminalEvent : unsigned {
  kKeysReady = 1,      // readKeyBytes has bytes
  kStopRequested = 2,  // a stop request came (stopRequest says which)
  kResized = 4,        // the terminal has a new size
  kSuspendAsked = 8,   // Ctrl-Z: suspendProcess, then draw again
  kResumed = 16,       // the process was continued: set the terminal again and draw
};

// Waits for keys or an event, at most `timeoutMilliseconds` (-1: no limit).
// A stop request that came before the call is reported at once.
unsigned waitForTerminal(int timeoutMilliseconds);

// The key bytes that have arrived, at most `size`; never waits, even when
// the bytes waitForTerminal saw have gone meanwhile (to a shell, while the
// process was stopped): then 0. `ended`: the input has ended (the terminal
// hung up), and no key will come.
std::size_t readKeyBytes(char* buffer, std::size_t size, bool& ended);

// Stops the process as Ctrl-Z does, and returns once it is continued.
void suspendProcess();

// From this call on, the requests that stop a run (POSIX: every signal whose
// default action ends the process, but for those already ignored; Windows:
// Ctrl-C, Ctrl-Break, closing the console, logoff, shutdown) no longer end
// the process: the first is remembered for the run to act on, and cuts short
// any wait for a pipe or terminal; a second ends the process at once. Before
// it they end the process as they always do.
void catchStopRequests();

// The first stop request caught (a signal number), or 0 when there was none.
int stopRequest();

// Ends the process as the stop request would have had it not been caught:
// by the same signal on POSIX, so that a calling shell stops its script too
// (and a core-dumping one still dumps); with the status of a Ctrl-C on Windows.
[[noreturn]] void endByStopRequest(int request);

}  // namespace velloran
