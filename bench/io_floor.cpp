// The least work any program must do for a dump: read the ROM and write the
// same files (the header bytes + padded rows) with one create and one write
// each, without converting anything. The benchmark measures velloran against it.
//
//   io_floor ROM PREFIX WIDTH HEIGHT COUNT OFFSET FIRST_NUMBER [ROM_BITS FILE_BITS HEADER_BYTES]
//
// The last three are a pixel's bits in the ROM and in the file, and the
// bytes before the rows: 16 16 54 by default, as the default format has them.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool readAll(int fd, unsigned char* data, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = read(fd, data + got, size - got);
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8 && argc != 11) {
    std::fprintf(stderr, "usage: io_floor ROM PREFIX WIDTH HEIGHT COUNT OFFSET FIRST_NUMBER"
                         " [ROM_BITS FILE_BITS HEADER_BYTES]\n");
    return 2;
  }
  const std::uint64_t romBits = argc == 11 ? std::strtoull(argv[8], nullptr, 10) : 16;
  const std::uint64_t fileBits = argc == 11 ? std::strtoull(argv[9], nullptr, 10) : 16;
  const std::size_t header = argc == 11 ? std::strtoull(argv[10], nullptr, 10) : 54;
  const std::string prefix = argv[2];
  const std::uint64_t width = std::strtoull(argv[3], nullptr, 10);
  const std::uint64_t height = std::strtoull(argv[4], nullptr, 10);
  const long count = std::strtol(argv[5], nullptr, 10);
  const off_t offset = static_cast<off_t>(std::strtoll(argv[6], nullptr, 10));
  const long firstNumber = std::strtol(argv[7], nullptr, 10);

  const int rom = open(argv[1], O_RDONLY);
  if (rom < 0 || lseek(rom, offset, SEEK_SET) < 0) return 1;
  const std::size_t imageBytes = (width * romBits + 7) / 8 * height;
  const std::size_t fileBytes = header + (width * fileBits + 31) / 32 * 4 * height;
  std::vector<unsigned char> file(fileBytes < header + imageBytes ? header + imageBytes : fileBytes);
  char name[4096];
  for (long image = 0; image < count; ++image) {
    std::size_t got = 0;
    if (!readAll(rom, file.data() + header, imageBytes, got)) return 1;
    if (got == 0 && imageBytes > 0) break;
    std::snprintf(name, sizeof name, "%ssnap%04ld.bmp", prefix.c_str(), firstNumber + image);
    const int out = open(name, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (out < 0 || !writeAll(out, file.data(), fileBytes) || close(out) != 0) return 1;
    if (got < imageBytes) break;
  }
  return close(rom) == 0 ? 0 : 1;
}
