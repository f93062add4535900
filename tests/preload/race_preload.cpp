// LD_PRELOAD library: the first exclusive creation of a path ending in
// RACE_NAME finds that a file with the text "racer" got there first. With
// SLOW_UNLINK set, the first removal of a file takes two seconds, which holds
// the tool in its cleanup for long enough to send it a second signal. With
// KEYS_GONE set, the first read of standard input whose bytes hold its first
// character finds them gone, as a shell takes keys typed with fg while the
// reader is stopped, and reads again.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool raced = false;

void createRacerFirst(const char* path, int flags) {
  const char* target = std::getenv("RACE_NAME");
  if (raced || target == nullptr || (flags & O_EXCL) == 0) return;
  const std::size_t pathLength = std::strlen(path);
  const std::size_t targetLength = std::strlen(target);
  if (pathLength < targetLength || std::strcmp(path + pathLength - targetLength, target) != 0) return;
  raced = true;
  using RealOpen = int (*)(const char*, int, ...);
  auto realOpen = reinterpret_cast<RealOpen>(dlsym(RTLD_NEXT, "open"));
  const int racer = realOpen(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (racer >= 0) {
    const ssize_t written = write(racer, "racer", 5);
    static_cast<void>(written);
    close(racer);
  }
}

int forward(const char* symbol, const char* path, int flags, mode_t mode) {
  createRacerFirst(path, flags);
  using RealOpen = int (*)(const char*, int, ...);
  auto realOpen = reinterpret_cast<RealOpen>(dlsym(RTLD_NEXT, symbol));
  return realOpen(path, flags, mode);
}

mode_t modeArgument(int flags, va_list arguments) {
  return (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return forward("open", path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = modeArgument(flags, arguments);
  va_end(arguments);
  return forward("open64", path, flags, mode);
}

// The real unlink, looked up once: the second signal's handler calls it.
using RealUnlink = int (*)(const char*);
const RealUnlink realUnlink = reinterpret_cast<RealUnlink>(dlsym(RTLD_NEXT, "unlink"));
bool slowedOnce = false;

extern "C" int unlink(const char* path) {
  if (!slowedOnce && std::getenv("SLOW_UNLINK") != nullptr) {
    slowedOnce = true;
    const timespec pause{2, 0};
    nanosleep(&pause, nullptr);  // a signal cuts it short, as it would a slow file system
  }
  return realUnlink(path);
}

using RealRead = ssize_t (*)(int, void*, size_t);
const RealRead realRead = reinterpret_cast<RealRead>(dlsym(RTLD_NEXT, "read"));
bool keysTaken = false;

extern "C" ssize_t read(int descriptor, void* buffer, size_t size) {
  const char* gone = std::getenv("KEYS_GONE");
  int waiting = 0;
  if (descriptor != STDIN_FILENO || keysTaken || gone == nullptr || ioctl(descriptor, FIONREAD, &waiting) != 0 ||
      waiting <= 0) {
    return realRead(descriptor, buffer, size);
  }
  const ssize_t got = realRead(descriptor, buffer, size);
  if (got <= 0 || std::memchr(buffer, gone[0], static_cast<size_t>(got)) == nullptr) return got;
  keysTaken = true;
  return realRead(descriptor, buffer, size);
}
