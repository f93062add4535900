// The least any program can take to answer a key with a frame of N bytes in
// a terminal: it reads a key, writes N bytes, and nothing else. bench/browse.py
// times it beside velloran --browse, with the bytes velloran's frames took.
//
//   browse_floor N
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::size_t size = std::strtoul(argv[1], nullptr, 10);
  static const char kFrameEnd[] = "\x1b[?2026l";
  if (size < sizeof kFrameEnd) return 2;
  std::vector<char> frame(size, 'x');
  std::memcpy(frame.data() + size - (sizeof kFrameEnd - 1), kFrameEnd, sizeof kFrameEnd - 1);
  termios mode{};
  tcgetattr(STDIN_FILENO, &mode);
  cfmakeraw(&mode);
  tcsetattr(STDIN_FILENO, TCSANOW, &mode);
  char key = 0;
  do {
    for (std::size_t written = 0; written < size;) {
      const ssize_t count = write(STDOUT_FILENO, frame.data() + written, size - written);
      if (count <= 0) return 1;
      written += static_cast<std::size_t>(count);
    }
  } while (read(STDIN_FILENO, &key, 1) == 1);
  return 0;
}
