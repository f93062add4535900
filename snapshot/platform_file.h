// The few file operations that need the platform's own calls: exclusive
// creation and 64-bit positions. Every
// function reports failure by its result; none throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velloran {

// Owns an open file and closes it when it goes out of scope.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(int descriptor) : descriptor_(descriptor) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool isOpen() const { return descriptor_ >= 0; }
  int descriptor() const { return descriptor_; }
  // Closes now and says whether the system accepted everything written.
  bool close();

 private:
  int descriptor_ = -1;
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

// A closed output pipe or a file size limit must end in an error we can
// report and clean up after, not in a signal that kills us mid-file.
void ignoreSignalsThatInterruptWrites();

}  // namespace velloran
