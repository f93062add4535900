#include "platform_file.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velloran {

namespace {

// Linux moves at most this much in one read or write call.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

}  // namespace

FileHandle::~FileHandle() {
  close();
}

FileHandle::FileHandle(FileHandle&& other) noexcept : descriptor_(other.descriptor_) {
  other.descriptor_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    close();
    descriptor_ = other.descriptor_;
    other.descriptor_ = -1;
  }
  return *this;
}

bool FileHandle::close() {
  if (descriptor_ < 0) return true;
  const int result = ::close(descriptor_);
  descriptor_ = -1;
  return result == 0;
}

FileHandle openForReading(const std::string& path) {
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (file.isOpen() && (::fstat(file.descriptor(), &status) != 0 || S_ISDIR(status.st_mode))) {
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
    const std::size_t chunk = size < kMaxTransfer ? size : kMaxTransfer;
    const ssize_t written = ::write(file.descriptor(), data, chunk);
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
    const std::size_t wanted = size - result.bytesRead;
    const ssize_t got =
        ::read(file.descriptor(), data + result.bytesRead, wanted < kMaxTransfer ? wanted : kMaxTransfer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) result.failed = true;
    if (got <= 0) break;
    result.bytesRead += static_cast<std::size_t>(got);
  }
  return result;
}

bool seekTo(const FileHandle& file, std::uint64_t offset) {
  const auto target = static_cast<off_t>(offset);
  return ::lseek(file.descriptor(), target, SEEK_SET) == target;
}

bool removeFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

void ignoreSignalsThatInterruptWrites() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace velloran
