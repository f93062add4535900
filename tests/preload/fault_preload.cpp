// LD_PRELOAD library: makes the FAULT_CALL-th file or memory call fail the way
// a real system does (ENOSPC, EIO, EACCES, a null allocation), and writes to
// FAULT_REPORT how many calls it counted, which one it failed, how many
// removals it failed (FAULT_UNLINK), and how many exclusive creates found
// their name taken. With FAULT_ONLY set, only calls of that name count.
// FAULT_ERRNO gives the failed call that error number instead.
//
// Counting starts after the tool's first read of standard input, so the C and
// C++ runtimes have started and the tool's own dialogue is running. Both layers
// are covered: the POSIX calls and the stdio file calls (fopen, fread, ...).
// Writes to standard output and error are not counted (stop_test fails
// standard output with /dev/full and a closed pipe instead). close() fails
// only for files opened for writing, where a deferred write error shows up;
// the file is still closed.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
}

namespace {

bool armed = false;
long callsCounted = 0;
long failAt = -1;  // read from FAULT_CALL on first use
const char* failedCall = nullptr;
long unlinksFailed = 0;
bool writableFd[4096];

// True when this call is the one to fail; counts it either way.
// While a folder is listed (from opendir to closedir), a failed call is
// named NAME@listing: the tool may rightly do without the listing.
bool listing = false;
char listingCall[64];

long exclusiveCreatesRefused = 0;

bool shouldFail(const char* name) {
  if (!armed) return false;
  const char* only = std::getenv("FAULT_ONLY");
  if (only != nullptr && std::strcmp(only, name) != 0) return false;
  if (failAt < 0) {
    const char* text = std::getenv("FAULT_CALL");
    failAt = text != nullptr ? std::atol(text) : 0;
  }
  ++callsCounted;
  if (callsCounted != failAt) return false;
  if (listing) {
    std::snprintf(listingCall, sizeof listingCall, "%s@listing", name);
    name = listingCall;
  }
  failedCall = name;
  return true;
}

template <typename Function>
Function next(const char* symbol) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, symbol));
}

// FAULT_ERRNO, where set, is the error every failed call gives instead.
int failWith(int error) {
  const char* forced = std::getenv("FAULT_ERRNO");
  errno = forced != nullptr ? std::atoi(forced) : error;
  return -1;
}

void rememberWritable(int fd, int flags) {
  if (fd >= 0 && fd < 4096) writableFd[fd] = (flags & (O_WRONLY | O_RDWR)) != 0;
}

mode_t modeArgument(int flags, va_list arguments) {
  return (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

int openVia(const char* symbol, const char* path, int flags, mode_t mode) {
  if (shouldFail(symbol)) return failWith((flags & O_CREAT) != 0 ? ENOSPC : EACCES);
  const int fd = next<int (*)(const char*, int, ...)>(symbol)(path, flags, mode);
  if (fd < 0 && errno == EEXIST && armed) ++exclusiveCreatesRefused;
  rememberWritable(fd, flags);
  return fd;
}

int openatVia(const char* symbol, int dir, const char* path, int flags, mode_t mode) {
  if (shouldFail(symbol)) return failWith((flags & O_CREAT) != 0 ? ENOSPC : EACCES);
  const int fd = next<int (*)(int, const char*, int, ...)>(symbol)(dir, path, flags, mode);
  rememberWritable(fd, flags);
  return fd;
}

// Written at exit, with the real calls, so the test can tell how far the run got.
__attribute__((destructor)) void writeReport() {
  const char* path = std::getenv("FAULT_REPORT");
  if (path == nullptr) return;
  armed = false;
  char line[256];
  const int length = std::snprintf(line, sizeof line, "%ld %s %ld %ld\n", callsCounted,
                                   failedCall != nullptr ? failedCall : "-", unlinksFailed, exclusiveCreatesRefused);
  const int fd = next<int (*)(const char*, int, ...)>("open")(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  const ssize_t written = next<ssize_t (*)(int, const void*, size_t)>("write")(fd, line, length);
  static_cast<void>(written);
  next<int (*)(int)>("close")(fd);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openVia("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openVia("open64", path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openatVia("openat", dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return openatVia("openat64", dir, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
  return openVia("open", path, O_WRONLY | O_CREAT | O_TRUNC, mode);
}

// The tool reads its answers a byte at a time; stdio's own reads of the
// stream happen inside the C library, where no preload can see them.
int getc(FILE* stream) {
  if (stream == stdin && !armed) {
    // After the first read, so stdio has its buffer: when that allocation
    // fails, stdio quietly reads unbuffered, which is no fault of the tool.
    const int c = next<int (*)(FILE*)>("getc")(stream);
    armed = true;
    return c;
  }
  if (shouldFail("getc")) {
    errno = EIO;
    stream->_flags |= 0x20;  // glibc's _IO_ERR_SEEN: what ferror() reports
    return EOF;
  }
  return next<int (*)(FILE*)>("getc")(stream);
}

int _IO_getc(FILE* stream) {
  return getc(stream);
}

ssize_t read(int fd, void* data, size_t size) {
  if (shouldFail("read")) return failWith(EIO);
  return next<ssize_t (*)(int, void*, size_t)>("read")(fd, data, size);
}

ssize_t write(int fd, const void* data, size_t size) {
  if (fd > 2 && shouldFail("write")) return failWith(ENOSPC);
  return next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
}

// Snapshots are written where each block belongs, with positioned writes.
ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  if (fd > 2 && shouldFail("pwrite")) return failWith(ENOSPC);
  return next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
  if (fd > 2 && shouldFail("pwrite64")) return failWith(ENOSPC);
  return next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64")(fd, data, size, offset);
}

// A snapshot whose last rows lie past the ROM's end is given its length
// without writing them.
int ftruncate(int fd, off_t length) {
  if (fd > 2 && shouldFail("ftruncate")) return failWith(EFBIG);
  return next<int (*)(int, off_t)>("ftruncate")(fd, length);
}

int ftruncate64(int fd, off64_t length) {
  if (fd > 2 && shouldFail("ftruncate64")) return failWith(EFBIG);
  return next<int (*)(int, off64_t)>("ftruncate64")(fd, length);
}

ssize_t writev(int fd, const struct iovec* parts, int count) {
  if (fd > 2 && shouldFail("writev")) return failWith(ENOSPC);
  return next<ssize_t (*)(int, const struct iovec*, int)>("writev")(fd, parts, count);
}

off_t lseek(int fd, off_t offset, int whence) {
  if (shouldFail("lseek")) return failWith(EIO);
  return next<off_t (*)(int, off_t, int)>("lseek")(fd, offset, whence);
}

off64_t lseek64(int fd, off64_t offset, int whence) {
  if (shouldFail("lseek64")) return failWith(EIO);
  return next<off64_t (*)(int, off64_t, int)>("lseek64")(fd, offset, whence);
}

int fstat(int fd, struct stat* status) {
  if (shouldFail("fstat")) return failWith(EIO);
  return next<int (*)(int, struct stat*)>("fstat")(fd, status);
}

int fstat64(int fd, struct stat64* status) {
  if (shouldFail("fstat64")) return failWith(EIO);
  return next<int (*)(int, struct stat64*)>("fstat64")(fd, status);
}

// The prefix's folder check.
int stat(const char* path, struct stat* status) {
  if (shouldFail("stat")) return failWith(EIO);
  return next<int (*)(const char*, struct stat*)>("stat")(path, status);
}

int stat64(const char* path, struct stat64* status) {
  if (shouldFail("stat64")) return failWith(EIO);
  return next<int (*)(const char*, struct stat64*)>("stat64")(path, status);
}

// Catching the stop signals when the dump begins.
int sigaction(int signal, const struct sigaction* action, struct sigaction* previous) {
  if (action != nullptr && shouldFail("sigaction")) return failWith(EINVAL);
  return next<int (*)(int, const struct sigaction*, struct sigaction*)>("sigaction")(signal, action, previous);
}

// One call, with the allocations the C library makes inside it.
DIR* opendir(const char* path) {
  if (shouldFail("opendir")) {
    errno = EACCES;
    return nullptr;
  }
  const bool wasArmed = armed;
  armed = false;
  DIR* folder = next<DIR* (*)(const char*)>("opendir")(path);
  armed = wasArmed;
  listing = folder != nullptr;
  return folder;
}

int closedir(DIR* folder) {
  listing = false;
  return next<int (*)(DIR*)>("closedir")(folder);
}

// The wake-up pipe that lets a stop request cut short a wait.
int pipe(int ends[2]) {
  if (shouldFail("pipe")) return failWith(EMFILE);
  return next<int (*)(int*)>("pipe")(ends);
}

int close(int fd) {
  const bool writable = fd >= 0 && fd < 4096 && writableFd[fd];
  const int result = next<int (*)(int)>("close")(fd);
  if (fd >= 0 && fd < 4096) writableFd[fd] = false;
  if (writable && result == 0 && shouldFail("close")) return failWith(EIO);
  return result;
}

// With FAULT_UNLINK set, every removal fails too: it is only ever called
// after another failure, so one failed call per run cannot reach it.
int unlink(const char* path) {
  if (std::getenv("FAULT_UNLINK") != nullptr && armed) {
    ++unlinksFailed;
    return failWith(EACCES);
  }
  if (shouldFail("unlink")) return failWith(EACCES);
  return next<int (*)(const char*)>("unlink")(path);
}

int remove(const char* path) {
  if (shouldFail("remove")) return failWith(EACCES);
  return next<int (*)(const char*)>("remove")(path);
}

FILE* fopen(const char* path, const char* mode) {
  if (shouldFail("fopen")) {
    errno = std::strchr(mode, 'r') != nullptr ? EACCES : ENOSPC;
    return nullptr;
  }
  return next<FILE* (*)(const char*, const char*)>("fopen")(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  if (shouldFail("fopen64")) {
    errno = std::strchr(mode, 'r') != nullptr ? EACCES : ENOSPC;
    return nullptr;
  }
  return next<FILE* (*)(const char*, const char*)>("fopen64")(path, mode);
}

size_t fread(void* data, size_t size, size_t count, FILE* stream) {
  if (stream != stdin && shouldFail("fread")) {
    errno = EIO;
    return 0;
  }
  return next<size_t (*)(void*, size_t, size_t, FILE*)>("fread")(data, size, count, stream);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
  if (stream != stdout && stream != stderr && shouldFail("fwrite")) {
    errno = ENOSPC;
    return 0;
  }
  return next<size_t (*)(const void*, size_t, size_t, FILE*)>("fwrite")(data, size, count, stream);
}

int fseeko(FILE* stream, off_t offset, int whence) {
  if (shouldFail("fseeko")) return failWith(EIO);
  return next<int (*)(FILE*, off_t, int)>("fseeko")(stream, offset, whence);
}

int fseek(FILE* stream, long offset, int whence) {
  if (shouldFail("fseek")) return failWith(EIO);
  return next<int (*)(FILE*, long, int)>("fseek")(stream, offset, whence);
}

off_t ftello(FILE* stream) {
  if (shouldFail("ftello")) return failWith(EIO);
  return next<off_t (*)(FILE*)>("ftello")(stream);
}

long ftell(FILE* stream) {
  if (shouldFail("ftell")) return failWith(EIO);
  return next<long (*)(FILE*)>("ftell")(stream);
}

int fclose(FILE* stream) {
  const int result = next<int (*)(FILE*)>("fclose")(stream);
  if (stream != stdin && stream != stdout && stream != stderr && result == 0 && shouldFail("fclose")) {
    errno = EIO;
    return EOF;
  }
  return result;
}

void* malloc(size_t size) {
  if (shouldFail("malloc")) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  if (shouldFail("calloc")) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
  if (shouldFail("realloc")) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_realloc(block, size);
}

}  // extern "C"
