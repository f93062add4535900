// libFuzzer target: the bytes are the answers to a whole run against a small
// ROM, in a temporary folder of its own.
//
// Inputs that could reach outside that folder (any "/") or ask for big work
// (any number above kMaxNumber, wherever a number could start) are skipped:
// the fuzzer runs as whoever starts it, and it must neither write elsewhere
// nor spend its time writing thousands of files for one input.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run.h"

namespace {

constexpr long long kMaxNumber = 300;
constexpr std::size_t kRomBytes = 4096;

bool staysInsideTheFolder(const std::uint8_t* data, std::size_t size) {
  return std::memchr(data, '/', size) == nullptr;
}

// Every number the answer reader could take from these bytes is small.
bool numbersStaySmall(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] < '0' || data[i] > '9') continue;
    char digits[32] = {};
    std::memcpy(digits, data + i, std::min<std::size_t>(size - i, sizeof digits - 1));
    if (std::strtoll(digits, nullptr, 0) > kMaxNumber) return false;
  }
  return true;
}

void removeEverythingButTheRom() {
  DIR* folder = opendir(".");
  if (folder == nullptr) std::abort();
  std::vector<std::string> names;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && name != "rom.bin") names.push_back(name);
  }
  closedir(folder);
  for (const std::string& name : names) unlink(name.c_str());
}

char folder[] = "/tmp/velloran-fuzz-XXXXXX";

void removeTheFolder() {
  removeEverythingButTheRom();
  unlink("rom.bin");
  if (chdir("/") == 0) rmdir(folder);
}

}  // namespace

// Paths given to the fuzzer must be absolute: it works inside its own folder.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (mkdtemp(folder) == nullptr || chdir(folder) != 0) std::abort();
  std::atexit(removeTheFolder);
  std::vector<unsigned char> rom(kRomBytes);
  std::uint32_t state = 2026;
  for (unsigned char& byte : rom) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<unsigned char>(state >> 16);
  }
  std::FILE* file = std::fopen("rom.bin", "wb");
  if (file == nullptr || std::fwrite(rom.data(), 1, rom.size(), file) != rom.size() || std::fclose(file) != 0) {
    std::abort();
  }
  // Snapshots past a small size fail to write, which exercises that path too.
  const rlimit fileSize{1 << 20, 1 << 20};
  setrlimit(RLIMIT_FSIZE, &fileSize);
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  std::fprintf(stderr, "velloran fuzzing in %s\n", folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!staysInsideTheFolder(data, size) || !numbersStaySmall(data, size)) return -1;
  std::vector<char> bytes(data, data + size);
  bytes.push_back('\0');  // fmemopen wants a buffer even for no input
  std::FILE* answers = fmemopen(bytes.data(), size, "rb");
  if (answers == nullptr) std::abort();
  std::FILE* keyboard = stdin;
  stdin = answers;
  // libFuzzer times inputs out with SIGALRM, which the tool would catch as a
  // stop request (and a second one ends the process). Blocking it here is
  // not enough: libFuzzer's own thread (the one that watches its memory)
  // takes the signal then. Ignored during the run, which the tool leaves
  // ignored, and given to libFuzzer's own handler again after it.
  static struct sigaction fuzzersAlarm {};
  static const bool saved = sigaction(SIGALRM, nullptr, &fuzzersAlarm) == 0;
  std::signal(SIGALRM, SIG_IGN);
  const int status = velloran::runCommand({}).status;
  if (saved) sigaction(SIGALRM, &fuzzersAlarm, nullptr);
  stdin = keyboard;
  std::fclose(answers);
  removeEverythingButTheRom();
  if (status != 0 && status != 1) std::abort();
  return 0;
}
