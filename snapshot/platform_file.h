// Everything that differs between POSIX and Windows, behind one interface:
// exclusive creation, 64-bit positions, binary files, paths in UTF-8, and
// console input. Every function reports failure by its result; none throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace velloran {

// Owns an open file and closes it when it goes out of scope.
class FileHandle {
 public:
  FileHandle() = default;
  // A POSIX descriptor, or a Windows HANDLE's value; -1 means none.
  explicit FileHandle(std::intptr_t native) : native_(native) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool isOpen() const { return native_ != -1; }
  std::intptr_t native() const { return native_; }
  // Closes now and says whether the system accepted everything written.
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
CreateResult createExclusive(const std::string& path, FileHandle& file);

// Writes all `size` bytes, however many calls the system needs.
bool writeAll(const FileHandle& file, const unsigned char* data, std::size_t size);

struct ReadResult {
  std::size_t bytesRead;
  bool failed;  // an error, as opposed to the end of the file
};

// Reads until `size` bytes have arrived or the file ends.
ReadResult readFull(const FileHandle& file, unsigned char* data, std::size_t size);

// Moves the read position to `offset` bytes from the start.
bool seekTo(const FileHandle& file, std::uint64_t offset);

bool removeFile(const std::string& path);

// Paths are UTF-8 throughout; Windows gets them converted to UTF-16.
//
// Sets the process up before the dialogue. POSIX: a closed output pipe or a
// file size limit must end in an error we can report and clean up after, not
// in a signal that kills us mid-file. Windows: standard input in binary mode,
// so it reads byte for byte as on POSIX, and a console shows our UTF-8.
void prepareProcess();

// The next byte of an answer, or EOF. On a Windows console the typed text is
// read as UTF-16 and handed on as UTF-8, so that any name can be typed.
int readInputByte(std::FILE* stream);

}  // namespace velloran
