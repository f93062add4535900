#include "dump_driver.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "answer_reader.h"
#include "pixel_conversion.h"
#include "platform_file.h"
#include "snapshot_writer.h"

namespace velloran {

namespace {

// Printed as a hint only; it is not used as an offset.
constexpr unsigned kDataStartHint = 0x20D;

constexpr const char* kBanner = "\nWelcome to the Velloran v0.002\n";
constexpr const char* kCredit = "Raw 16-bit images out of ROM dumps, saved as numbered BMP files.\n\n";
constexpr const char* kPromptRomPath = "Enter rom file path (128 meg): ";
constexpr const char* kPromptDumpPrefix = "Enter bmp dump path: ";
constexpr const char* kPromptWidth = "Enter the bmp width: ";
constexpr const char* kPromptHeight = "Enter the bmp height: ";
constexpr const char* kPromptImageCount = "How many consecutive images to dump: ";
constexpr const char* kDataStartFormat = "\nData starts at: $%04X, With that in mind...\n";
constexpr const char* kPromptStartAddress = "Enter the starting image address (base 10 or decimal): ";
constexpr const char* kFileNotFound = "\nfile not found";
constexpr const char* kUnableToAllocate = "\nUnable to allocate mem";
constexpr const char* kEndOfRom = "\nEnd of rom reached";
constexpr const char* kUnableToRead = "\nUnable to read rom";
constexpr const char* kInterrupted = "\nInterrupted";
constexpr const char* kFinalPositionFormat = "\n%lld\n";

// Answers that cannot be used: each message is followed by the same prompt again.
constexpr const char* kPathTooLong = "\nPath too long: at most 255 characters.\n";
constexpr const char* kPathHasZeroByte = "\nPath holds a zero byte, which no file name can.\n";
constexpr const char* kNotANumber = "\nNot a number: answer with a whole number such as 64, 0x40 or 0100.\n";
constexpr const char* kOutOfRange = "\nNumber too large: at most 2147483647.\n";
constexpr const char* kNegative = "\nNegative numbers cannot be used here.\n";
constexpr const char* kImageTooLarge =
    "\nImage too large: width x height x 2 must stay within 2147483647 bytes.\n";
// Answers that end the run.
constexpr const char* kInputEnded = "\nInput ended before all six answers were given.\n";
constexpr const char* kGivingUp = "\nToo much unusable input; giving up.\n";
constexpr const char* kUnableToReadAnswers = "\nUnable to read the answers.\n";

constexpr std::size_t kMaxPathLength = 255;
constexpr int kMaxAttemptsPerQuestion = 100;
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

volatile std::sig_atomic_t interruptRequested = 0;

extern "C" void requestInterrupt(int) {
  interruptRequested = 1;
}

void ask(const char* prompt) {
  std::fputs(prompt, stdout);
  std::fflush(stdout);
}

// Says why an answer cannot be used. False when the run must end instead of
// asking again: the input ended, or it keeps giving answers that cannot be used.
bool explainRetry(AnswerStatus status, const char* problem, int& attempts) {
  if (status == AnswerStatus::ended || status == AnswerStatus::readFailed) {
    std::fputs(status == AnswerStatus::ended ? kInputEnded : kUnableToReadAnswers, stdout);
    return false;
  }
  if (status == AnswerStatus::tooMuchInput || ++attempts >= kMaxAttemptsPerQuestion) {
    std::fputs(kGivingUp, stdout);
    return false;
  }
  std::fputs(problem, stdout);
  return true;
}

bool askPath(AnswerInput& input, const char* prompt, std::string& path) {
  for (int attempts = 0;;) {
    ask(prompt);
    const AnswerStatus status = readWord(input, kMaxPathLength, path);
    if (status == AnswerStatus::ok) return true;
    const char* problem = status == AnswerStatus::tooLong ? kPathTooLong : kPathHasZeroByte;
    if (!explainRetry(status, problem, attempts)) return false;
  }
}

// Asks until the answer is a number from 0 to `maxValue`.
bool askNumber(AnswerInput& input, const char* prompt, std::int32_t maxValue,
               const char* tooLargeMessage, std::int32_t& value) {
  for (int attempts = 0;;) {
    ask(prompt);
    const AnswerStatus status = readInteger(input, value);
    const char* problem = status == AnswerStatus::notANumber ? kNotANumber : kOutOfRange;
    if (status == AnswerStatus::ok) {
      if (value >= 0 && value <= maxValue) return true;
      problem = value < 0 ? kNegative : tooLargeMessage;
    }
    if (!explainRetry(status, problem, attempts)) return false;
  }
}

// The tallest image of this width whose raw bytes fit in 32-bit signed
// arithmetic and whose BMP file length fits the header's 32-bit field.
std::int32_t maxHeightFor(std::int32_t width) {
  if (width == 0) return kInt32Max;
  const std::uint64_t byRawBytes = std::uint64_t{kInt32Max} / (static_cast<std::uint64_t>(width) * 2);
  const std::uint64_t byFileSize =
      (std::numeric_limits<std::uint32_t>::max() - kBmpHeaderBytes) / rowBytesFor(static_cast<std::uint32_t>(width));
  return static_cast<std::int32_t>(std::min(byRawBytes, byFileSize));
}

struct DumpRequest {
  std::string romPath;
  std::string dumpPrefix;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t imageCount = 0;
  std::int32_t startAddress = 0;
};

// The size of one raw image; the answers were checked so that it fits in 31 bits.
std::size_t imageBytesOf(const DumpRequest& request) {
  return static_cast<std::size_t>(request.width) * static_cast<std::size_t>(request.height) * 2;
}

// Writes one snapshot per image from the current ROM position on, and keeps
// `position` at the ROM's read position. True when every attempt was written.
bool dumpImages(const FileHandle& rom, const DumpRequest& request, unsigned char* imageBuffer,
                std::uint64_t& position) {
  const std::size_t imageBytes = imageBytesOf(request);
  const auto sourceStride = static_cast<std::uint32_t>(request.width) * 2;
  std::int32_t snapshotNumber = 0;
  bool allWritten = true;
  for (std::int32_t image = 0; image < request.imageCount; ++image) {
    if (interruptRequested) {
      std::fputs(kInterrupted, stdout);
      return false;
    }
    bool romEnded = false;
    if (imageBytes > 0) {
      const ReadResult read = readFull(rom, imageBuffer, imageBytes);
      position += read.bytesRead;
      if (read.failed) {
        std::fputs(kUnableToRead, stdout);
        return false;
      }
      if (read.bytesRead == 0) {
        std::fputs(kEndOfRom, stdout);
        return allWritten;
      }
      // Bytes past the ROM's end read as zero, never as the previous image.
      romEnded = read.bytesRead < imageBytes;
      std::memset(imageBuffer + read.bytesRead, 0, imageBytes - read.bytesRead);
    }
    const SnapshotResult result = writeSnapshot(imageBuffer, sourceStride, 16, request.width,
                                                request.height, request.dumpPrefix, snapshotNumber);
    allWritten = allWritten && result == SnapshotResult::written;
    if (romEnded) {
      std::fputs(kEndOfRom, stdout);
      return allWritten;
    }
  }
  return allWritten;
}

// Asks the six questions. False when the run must end; the reason is printed.
bool askQuestions(AnswerInput& input, DumpRequest& request, FileHandle& rom) {
  if (!askPath(input, kPromptRomPath, request.romPath)) return false;
  if (!askPath(input, kPromptDumpPrefix, request.dumpPrefix)) return false;
  if (!askNumber(input, kPromptWidth, kInt32Max, kOutOfRange, request.width)) return false;
  if (!askNumber(input, kPromptHeight, maxHeightFor(request.width), kImageTooLarge, request.height)) {
    return false;
  }
  if (!askNumber(input, kPromptImageCount, kInt32Max, kOutOfRange, request.imageCount)) return false;
  // The ROM is opened before the last question but reported only after it.
  rom = openForReading(request.romPath);
  std::printf(kDataStartFormat, kDataStartHint);
  return askNumber(input, kPromptStartAddress, kInt32Max, kOutOfRange, request.startAddress);
}

int finish(bool succeeded) {
  std::fflush(stdout);
  return succeeded ? 0 : 1;
}

int dumpFromAnswers() {
  std::fputs(kBanner, stdout);
  std::fputs(kCredit, stdout);

  AnswerInput input{stdin, {}};
  DumpRequest request;
  FileHandle rom;
  if (!askQuestions(input, request, rom)) return finish(false);
  if (!rom.isOpen()) {
    std::fputs(kFileNotFound, stdout);
    return finish(false);
  }

  std::uint64_t position = static_cast<std::uint64_t>(request.startAddress);
  std::unique_ptr<unsigned char[]> imageBuffer(new (std::nothrow) unsigned char[imageBytesOf(request)]);
  if (!imageBuffer) {
    std::fputs(kUnableToAllocate, stdout);
    return finish(false);
  }

  // From here on Ctrl-C lets the snapshot in progress finish, then stops.
  std::signal(SIGINT, requestInterrupt);
  bool succeeded = false;
  // A freshly opened file is already at 0, and skipping that seek lets the ROM be a pipe.
  if (position == 0 || seekTo(rom, position)) {
    succeeded = dumpImages(rom, request, imageBuffer.get(), position);
  } else {
    std::fputs(kUnableToRead, stdout);
  }
  std::printf(kFinalPositionFormat, static_cast<long long>(position));
  return finish(succeeded);
}

}  // namespace

int runDump() {
  prepareProcess();
  // Answers and names are strings that grow; running out of memory for one
  // ends the run with the same message as for the image buffer. No snapshot
  // file is open where they grow.
  try {
    return dumpFromAnswers();
  } catch (const std::bad_alloc&) {
    std::fputs(kUnableToAllocate, stdout);
    return finish(false);
  }
}

}  // namespace velloran
