// POSIX: files, the ROM's and the snapshots'.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace velloran {

namespace {

using namespace posix;

int descriptorOf(const FileHandle& file) {
  return static_cast<int>(file.native());
}

}  // namespace

namespace posix {

// No system moves more than this in one read or write call (Linux stops at
// just under 2 GiB).
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

std::size_t transferSize(std::size_t wanted) {
  return wanted < kMaxTransfer ? wanted : kMaxTransfer;
}

}  // namespace posix

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

std::string lastSystemError() {
  return errno != 0 ? std::strerror(errno) : "";
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
    if (written == 0) errno = ENOSPC;  // a write that takes nothing: the file system is full
    if (written <= 0) return false;
    data += written;
    offset += static_cast<std::uint64_t>(written);
    size -= static_cast<std::size_t>(written);
  }
  return true;
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

}  // namespace velloran
