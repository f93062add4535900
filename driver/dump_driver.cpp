#include "driver/dump_driver.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "driver/answer_reader.h"
#include "driver/command_line.h"
#include "platform/platform.h"
#include "snapshot/console_output.h"
#include "snapshot/console_picture.h"
#include "snapshot/pixel_conversion.h"
#include "snapshot/snapshot_writer.h"

namespace velloran {

namespace {

// Printed as a hint only; it is not used as an offset.
constexpr unsigned kDataStartHint = 0x20D;

constexpr const char* kBanner = "\nWelcome to the Velloran v0.002\n";
constexpr const char* kCredit = "Raw 16-bit images out of ROM dumps, saved as numbered BMP files.\n\n";
// The six questions, in the order they are asked and given as arguments.
enum Question : std::size_t { kRomPath, kDumpPrefix, kWidth, kHeight, kImageCount, kStartAddress, kQuestionCount };
constexpr const char* kPrompts[kQuestionCount] = {
    "Enter rom file path (128 meg): ",
    "Enter bmp dump path: ",
    "Enter the bmp width: ",
    "Enter the bmp height: ",
    "How many consecutive images to dump: ",
    "Enter the starting image address (base 10 or decimal): ",
};
constexpr const char* kDataStartFormat = "\nData starts at: $%04X, With that in mind...\n";
constexpr const char* kFileNotFound = "\nfile not found";
constexpr const char* kUnableToAllocate = "\nUnable to allocate mem";
constexpr const char* kEndOfRom = "\nEnd of rom reached";
constexpr const char* kUnableToRead = "\nUnable to read rom";
constexpr const char* kInterrupted = "\nInterrupted";
constexpr const char* kNoPictures = "velloran: this console cannot show pictures; --preview draws none\n";

// Answers that cannot be used: each message is followed by the same prompt
// again; given as an argument, it is a usage error.
constexpr const char* kPathTooLong = "\nPath too long: at most 255 characters.\n";
constexpr const char* kPathHasZeroByte = "\nPath holds a zero byte, which no file name can.\n";
constexpr const char* kPathEmpty = "\nEmpty path: a path needs at least one character.\n";
constexpr const char* kUnterminatedQuote =
    "\nUnterminated quote: a quoted path ends with the same quote on the same line.\n";
constexpr const char* kNoSuchFolder = "\nNo such folder: ";
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

constexpr int kStatusWritten = 0;
constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;

// Off a terminal, or when it does not tell its size, a picture is at most
// this many characters wide and lines high.
constexpr std::uint32_t kDefaultPictureColumns = 80;
constexpr std::uint32_t kDefaultPictureLines = 24;
// Terminal lines a picture leaves free: its Opening line and the next one.
constexpr int kLinesBesidePicture = 2;
// However large a terminal says it is, a picture's text stays within
// 1000 x 1000 cells, 41 MB.
constexpr std::uint32_t kMaxPictureLines = 1000;

// The picture drawn under each snapshot's Opening line, when asked for.
struct Preview {
  bool on;
  PictureBounds bounds;
};

struct DumpRequest {
  std::string romPath;
  std::string dumpPrefix;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t imageCount = 0;
  std::int32_t startAddress = 0;
};

// ---- Checking an answer, typed or given as an argument ----------------------
// Each check gives the message for an answer that cannot be used, or an
// empty text for one that can.

std::string pathProblem(AnswerStatus status, const std::string& path) {
  switch (status) {
    case AnswerStatus::ok:
      return path.empty() ? kPathEmpty : "";
    case AnswerStatus::tooLong:
      return kPathTooLong;
    case AnswerStatus::hasZeroByte:
      return kPathHasZeroByte;
    default:
      // The statuses that end the run (the input ended, failed, or gave too
      // much) never reach the user as a problem: explainRetry ends it first.
      return kUnterminatedQuote;
  }
}

// A prefix is used as it is, in front of "snapNNNN.bmp": its folder part (up
// to its last separator) must be a folder already, or no snapshot could be
// written. A prefix without one names files in the current folder.
std::string prefixProblem(AnswerStatus status, const std::string& prefix) {
  std::string problem = pathProblem(status, prefix);
  if (!problem.empty()) return problem;
  const auto last = std::find_if(prefix.rbegin(), prefix.rend(), isPathSeparator);
  if (last == prefix.rend()) return "";
  const std::string folder(prefix.begin(), last.base());
  return isFolder(folder) ? "" : kNoSuchFolder + folder + "\n";
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

// Every number must be from 0 to 2147483647 (the reader refuses more); the
// height's limit also depends on the width.
std::string numberProblem(AnswerStatus status, std::int32_t value, std::size_t question,
                          const DumpRequest& request) {
  if (status == AnswerStatus::ok) {
    if (value < 0) return kNegative;
    return question == kHeight && value > maxHeightFor(request.width) ? kImageTooLarge : "";
  }
  return status == AnswerStatus::notANumber ? kNotANumber : kOutOfRange;
}

std::string pathProblemFor(std::size_t question, AnswerStatus status, const std::string& path) {
  return question == kDumpPrefix ? prefixProblem(status, path) : pathProblem(status, path);
}

std::string& pathAnswer(std::size_t question, DumpRequest& request) {
  return question == kRomPath ? request.romPath : request.dumpPrefix;
}

std::int32_t& numberAnswer(std::size_t question, DumpRequest& request) {
  switch (question) {
    case kWidth:
      return request.width;
    case kHeight:
      return request.height;
    case kImageCount:
      return request.imageCount;
    default:
      return request.startAddress;
  }
}

// ---- Answers as arguments ---------------------------------------------------

// An argument is one whole answer: "64abc" is refused, not read as 64.
std::string argumentProblem(std::size_t question, const std::string& argument, DumpRequest& request) {
  if (question <= kDumpPrefix) {
    std::string& path = pathAnswer(question, request);
    path = argument;
    const AnswerStatus status = argument.size() > kMaxPathLength ? AnswerStatus::tooLong : AnswerStatus::ok;
    return pathProblemFor(question, status, path);
  }
  AnswerInput input = textInput(argument);
  std::int32_t& value = numberAnswer(question, request);
  AnswerStatus status = readInteger(input, value);
  if (status == AnswerStatus::ended || (status == AnswerStatus::ok && !nothingLeft(input))) {
    status = AnswerStatus::notANumber;
  }
  return numberProblem(status, value, question, request);
}

// Takes the answers given as arguments. False, with the usage problem, when
// one cannot be used: then nothing is asked and nothing is written.
bool takeArguments(const std::vector<std::string>& answers, DumpRequest& request, std::string& usageProblem) {
  for (std::size_t index = 0; index < answers.size(); ++index) {
    std::string problem = argumentProblem(index, answers[index], request);
    if (problem.empty()) continue;
    // The dialogue's message, as one line.
    problem.erase(std::remove(problem.begin(), problem.end(), '\n'), problem.end());
    usageProblem = std::string(answerName(index)) + " '" + answers[index] + "': " + problem;
    return false;
  }
  return true;
}

// ---- The dialogue -----------------------------------------------------------

// Says why an answer cannot be used. False when the run must end instead of
// asking again: the input ended, or it keeps giving answers that cannot be used.
bool explainRetry(AnswerStatus status, const std::string& problem, int& attempts) {
  if (status == AnswerStatus::ended || status == AnswerStatus::readFailed) {
    say(status == AnswerStatus::ended ? kInputEnded : kUnableToReadAnswers);
    return false;
  }
  if (status == AnswerStatus::tooMuchInput || ++attempts >= kMaxAttemptsPerQuestion) {
    say(kGivingUp);
    return false;
  }
  say(problem);
  return true;
}

// Asks `question` until its answer can be used. False when the run must end;
// the reason is printed.
bool ask(AnswerInput& input, std::size_t question, DumpRequest& request) {
  for (int attempts = 0;;) {
    say(kPrompts[question]);
    flushSaid();
    AnswerStatus status;
    std::string problem;
    if (question <= kDumpPrefix) {
      std::string& path = pathAnswer(question, request);
      status = readPath(input, kMaxPathLength, path);
      problem = pathProblemFor(question, status, path);
    } else {
      std::int32_t& value = numberAnswer(question, request);
      status = readInteger(input, value);
      problem = numberProblem(status, value, question, request);
    }
    if (status == AnswerStatus::ok && problem.empty()) return true;
    if (!explainRetry(status, problem, attempts)) return false;
  }
}

// Asks the questions that the first `given` answers (the arguments) left
// open. False when the run must end; the reason is printed.
bool askQuestions(std::size_t given, DumpRequest& request, FileHandle& rom) {
  AnswerInput input{stdin, {}};
  if (given < kQuestionCount) {
    say(kBanner);
    say(kCredit);
  }
  for (std::size_t question = given; question < kStartAddress; ++question) {
    if (!ask(input, question, request)) return false;
  }
  // The ROM is opened before the last question but reported only after it.
  rom = openForReading(request.romPath);
  if (given == kQuestionCount) return true;
  char hint[64];
  std::snprintf(hint, sizeof hint, kDataStartFormat, kDataStartHint);
  say(hint);
  return ask(input, kStartAddress, request);
}

// ---- Pictures ---------------------------------------------------------------

// Nothing is asked of the terminal unless pictures were asked for.
Preview previewFor(const CommandLine& command) {
  Preview preview{false, {kDefaultPictureColumns, kDefaultPictureLines}};
  if (!command.preview) return preview;
  if (!enableColourOutput()) {
    std::fputs(kNoPictures, stderr);
    return preview;
  }
  int columns = 0;
  int rows = 0;
  if (terminalSize(columns, rows)) {
    preview.bounds.columns = std::min(static_cast<std::uint32_t>(columns), kMaxPreviewColumns);
    preview.bounds.lines =
        std::min(static_cast<std::uint32_t>(std::max(1, rows - kLinesBesidePicture)), kMaxPictureLines);
  }
  if (command.previewColumns != 0) preview.bounds.columns = command.previewColumns;
  preview.on = true;
  return preview;
}

// ---- The dump ---------------------------------------------------------------

// The size of one raw image; the answers were checked so that it fits in 31 bits.
std::size_t imageBytesOf(const DumpRequest& request) {
  return static_cast<std::size_t>(request.width) * static_cast<std::size_t>(request.height) * 2;
}

// Writes one snapshot per image from the current ROM position on, and keeps
// `position` at the ROM's read position. True when every attempt was written.
// A stop request, or standard output failing, ends the loop at the next
// snapshot boundary; a stop leaves `position` after the last image handled,
// where a later run can go on.
bool dumpImages(const FileHandle& rom, const DumpRequest& request, const Preview& preview,
                unsigned char* imageBuffer, std::uint64_t& position) {
  const std::size_t imageBytes = imageBytesOf(request);
  const auto sourceStride = static_cast<std::uint32_t>(request.width) * 2;
  std::int32_t snapshotNumber = 0;
  bool allWritten = true;
  for (std::int32_t image = 0; image < request.imageCount; ++image) {
    if (stopRequest() != 0) return false;
    if (outputError() != 0) return false;
    const std::uint64_t imageStart = position;
    bool romEnded = false;
    if (imageBytes > 0) {
      const ReadResult read = readFull(rom, imageBuffer, imageBytes);
      position += read.bytesRead;
      if (read.failed) {
        say(kUnableToRead);
        return false;
      }
      if (read.bytesRead == 0) {
        say(kEndOfRom);
        return allWritten;
      }
      // Bytes past the ROM's end read as zero, never as the previous image.
      romEnded = read.bytesRead < imageBytes;
      std::memset(imageBuffer + read.bytesRead, 0, imageBytes - read.bytesRead);
    }
    const SnapshotResult result = writeSnapshot(imageBuffer, sourceStride, 16, request.width,
                                                request.height, request.dumpPrefix, snapshotNumber);
    if (result == SnapshotResult::stopped) {
      position = imageStart;
      return false;
    }
    allWritten = allWritten && result == SnapshotResult::written;
    if (preview.on && result == SnapshotResult::written) {
      // On screen before the next image is read.
      sayAtOnce(pictureText(imageBuffer, sourceStride, static_cast<std::uint32_t>(request.width),
                            static_cast<std::uint32_t>(request.height), preview.bounds));
    }
    if (romEnded) {
      say(kEndOfRom);
      return allWritten;
    }
  }
  return allWritten;
}

void sayPosition(std::uint64_t position) {
  say("\n" + std::to_string(position) + "\n");
}

// The status of a run that is over: a failed standard output turns it into
// a failed run, said on standard error, where it may still be seen.
int reportWriteError(int error) {
  std::fprintf(stderr, "velloran: write error: %s\n", std::strerror(error));
  return kStatusFailed;
}

int finish(int status) {
  flushSaid();
  return outputError() == 0 ? status : reportWriteError(outputError());
}

int dump(const DumpRequest& answered, std::size_t given, const CommandLine& command) {
  DumpRequest request = answered;
  FileHandle rom;
  if (!askQuestions(given, request, rom)) return finish(kStatusFailed);
  if (!rom.isOpen()) {
    say(kFileNotFound);
    return finish(kStatusFailed);
  }

  std::uint64_t position = static_cast<std::uint64_t>(request.startAddress);
  std::unique_ptr<unsigned char[]> imageBuffer(new (std::nothrow) unsigned char[imageBytesOf(request)]);
  if (!imageBuffer) {
    say(kUnableToAllocate);
    return finish(kStatusFailed);
  }

  const Preview preview = previewFor(command);
  // From here on a stop request lets the dump end at a snapshot boundary
  // with no incomplete file left; before, it ends the process at once.
  catchStopRequests();
  bool succeeded = false;
  // A freshly opened file is already at 0, and skipping that seek lets the ROM be a pipe.
  if (position == 0 || seekTo(rom, position)) {
    succeeded = dumpImages(rom, request, preview, imageBuffer.get(), position);
  } else {
    say(kUnableToRead);
  }
  // Also when the request came during the last image.
  if (const int stop = stopRequest()) {
    say(kInterrupted);
    sayPosition(position);
    flushSaid();
    endByStopRequest(stop);
  }
  sayPosition(position);
  return finish(succeeded ? kStatusWritten : kStatusFailed);
}

}  // namespace

int runDump(const std::vector<std::string>& arguments) {
  prepareProcess();
  resetOutputError();
  // Answers and names are strings that grow; running out of memory for one
  // ends the run with the same message as for the image buffer. No snapshot
  // file is open where they grow.
  try {
    const CommandLine command = parseCommandLine(arguments);
    if (command.action == CommandAction::showHelp) {
      say(helpText());
      return finish(kStatusWritten);
    }
    if (command.action == CommandAction::showVersion) {
      say(versionText());
      return finish(kStatusWritten);
    }
    DumpRequest request;
    std::string usageProblem = command.problem;
    if (command.action == CommandAction::usageError || !takeArguments(command.answers, request, usageProblem)) {
      reportUsageError(usageProblem);
      return kStatusUsage;
    }
    return dump(request, command.answers.size(), command);
  } catch (const std::bad_alloc&) {
    say(kUnableToAllocate);
    return finish(kStatusFailed);
  }
}

int closeStandardOutput(int status) {
  const bool failedBefore = outputError() != 0;
  if (std::fclose(stdout) == 0 || failedBefore) return status;
  return reportWriteError(errno);
}

}  // namespace velloran
