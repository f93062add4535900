#include "driver/questions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "console/console_output.h"
#include "console/answer_reader.h"
#include "driver/command_line.h"
#include "snapshot/bmp_file.h"
#include "texts/texts.h"

namespace velloran {

namespace {

// Printed as a hint only; it is not used as an offset.
constexpr unsigned kDataStartHint = 0x20D;

// The six answers, in the order they are asked and given as arguments, one
// row each: the name the usage text and the usage errors give it, its prompt,
// and where it goes in the request. A new answer is a row here (and its
// prompt in texts/texts.h).
enum Question : std::size_t { kRomPath, kDumpPrefix, kWidth, kHeight, kImageCount, kStartAddress, kQuestionCount };

struct Answer {
  Question question;
  const char* name;
  const char* usage;  // what --help says of it
  Text prompt;
  std::string DumpRequest::*path;    // a path's answer, or none
  std::uint32_t DumpRequest::*size;  // a size's answer, or none (the start address is 64-bit)
};

constexpr Answer kAnswers[] = {
    {kRomPath, "ROM", "the ROM file to read images from", Text::romPrompt, &DumpRequest::romPath, nullptr},
    {kDumpPrefix, "PREFIX",
     "put in front of every snapshot name, PREFIX + snapNNNN.bmp, with\n"
     "           the first free number; a folder needs its trailing '/'",
     Text::prefixPrompt, &DumpRequest::dumpPrefix, nullptr},
    {kWidth, "WIDTH", "the image width in pixels", Text::widthPrompt, nullptr, &DumpRequest::width},
    {kHeight, "HEIGHT", "the image height in pixels", Text::heightPrompt, nullptr, &DumpRequest::height},
    {kImageCount, "COUNT", "how many consecutive images to dump", Text::countPrompt, nullptr,
     &DumpRequest::imageCount},
    {kStartAddress, "START", "the byte offset of the first image in the ROM", Text::startPrompt, nullptr, nullptr},
};
static_assert(sizeof kAnswers / sizeof kAnswers[0] == kQuestionCount && kAnswers[kStartAddress].question == kStartAddress,
              "a row for every answer, in the order they are asked");
static_assert(kAnswerCount == kQuestionCount, "the arguments answer the same questions");

// A text on a line of its own, as the dialogue shows its messages.
std::string onItsOwnLine(Text text) {
  return "\n" + std::string(textOf(text)) + "\n";
}

std::string onItsOwnLine(const std::string& text) {
  return "\n" + text + "\n";
}

constexpr std::size_t kMaxPathLength = 255;
constexpr int kMaxAttemptsPerQuestion = 100;

// ---- Checking an answer, typed or given as an argument ----------------------
// Each check gives the message for an answer that cannot be used, or an
// empty text for one that can.

std::string pathProblem(AnswerStatus status, const std::string& path) {
  switch (status) {
    case AnswerStatus::ok:
      return path.empty() ? onItsOwnLine(Text::pathEmpty) : "";
    case AnswerStatus::tooLong:
      return onItsOwnLine(Text::pathTooLong);
    case AnswerStatus::hasZeroByte:
      return onItsOwnLine(Text::pathHasZeroByte);
    default:
      // The statuses that end the run (the input ended, failed, or gave too
      // much) never reach the user as a problem: explainRetry ends it first.
      return onItsOwnLine(Text::unterminatedQuote);
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
  return isFolder(folder) ? "" : "\n" + std::string(textOf(Text::noSuchFolder)) + printableText(folder) + "\n";
}


// Every number must be 0 or more, within what its reader takes (32 bits; the
// start address 64); the height's limit also depends on the width and the format.
std::string numberProblem(AnswerStatus status, std::int64_t value, std::size_t question,
                          const DumpRequest& request) {
  if (status == AnswerStatus::ok) {
    if (value < 0) return onItsOwnLine(Text::negative);
    // A PNG has no image without pixels; a BMP of only its headers is one.
    if (request.png && value == 0 && (question == kWidth || question == kHeight)) {
      return onItsOwnLine(Text::pngStartsAtOne);
    }
    // Tiles need whole tiles across: asked again at the width, not at the height.
    if (question == kWidth) {
      const ImageSize size = imageSize(value, 0, request.format);
      return size == ImageSize::fits ? "" : onItsOwnLine(imageSizeText(size, request.format));
    }
    if (question != kHeight) return "";
    const ImageSize size = imageSize(request.width, value, request.format);
    return size == ImageSize::fits ? "" : onItsOwnLine(imageSizeText(size, request.format));
  }
  if (status == AnswerStatus::notANumber) return onItsOwnLine(Text::notANumber);
  // A start address may lie past 2 GiB, in a ROM of that size.
  return onItsOwnLine(question == kStartAddress ? Text::offsetTooLarge : Text::tooLarge);
}

std::string pathProblemFor(std::size_t question, AnswerStatus status, const std::string& path) {
  return question == kDumpPrefix ? prefixProblem(status, path) : pathProblem(status, path);
}

std::string& pathAnswer(std::size_t question, DumpRequest& request) {
  return request.*kAnswers[question].path;
}

std::uint32_t& sizeAnswer(std::size_t question, DumpRequest& request) {
  return request.*kAnswers[question].size;
}

// Reads the number that answers `question` (the start address in 64 bits,
// the others in 32) and stores it once it is no negative number: the request
// holds only unsigned numbers.
AnswerStatus readNumberAnswer(AnswerInput& input, std::size_t question, DumpRequest& request,
                              std::int64_t& value) {
  AnswerStatus status = AnswerStatus::ok;
  if (question == kStartAddress) {
    status = readOffset(input, value);
  } else {
    std::int32_t answer = 0;
    status = readInteger(input, answer);
    value = answer;
  }
  if (status != AnswerStatus::ok || value < 0) return status;
  if (question == kStartAddress) {
    request.startAddress = static_cast<std::uint64_t>(value);
  } else {
    sizeAnswer(question, request) = static_cast<std::uint32_t>(value);
  }
  return status;
}

// An argument is one whole answer: "64abc" is refused, not read as 64.
std::string argumentProblem(std::size_t question, const std::string& argument, DumpRequest& request) {
  if (question <= kDumpPrefix) {
    std::string& path = pathAnswer(question, request);
    path = argument;
    const AnswerStatus status = argument.size() > kMaxPathLength ? AnswerStatus::tooLong : AnswerStatus::ok;
    return pathProblemFor(question, status, path);
  }
  AnswerInput input = textInput(argument);
  std::int64_t value = 0;
  AnswerStatus status = readNumberAnswer(input, question, request, value);
  if (status == AnswerStatus::ended || (status == AnswerStatus::ok && !nothingLeft(input))) {
    status = AnswerStatus::notANumber;
  }
  return numberProblem(status, value, question, request);
}

// ---- The dialogue -----------------------------------------------------------

// Says why an answer cannot be used. False when the run must end instead of
// asking again: the input ended, or it keeps giving answers that cannot be used.
bool explainRetry(AnswerStatus status, const std::string& problem, int& attempts) {
  if (status == AnswerStatus::ended || status == AnswerStatus::readFailed) {
    say(onItsOwnLine(status == AnswerStatus::ended ? Text::inputEnded : Text::unableToReadAnswers));
    return false;
  }
  if (status == AnswerStatus::tooMuchInput || ++attempts >= kMaxAttemptsPerQuestion) {
    say(onItsOwnLine(Text::givingUp));
    return false;
  }
  say(problem);
  return true;
}

// Asks `question` until its answer can be used. False when the run must end;
// the reason is printed.
bool ask(AnswerInput& input, std::size_t question, DumpRequest& request) {
  for (int attempts = 0;;) {
    say(textOf(kAnswers[question].prompt));
    flushSaid();
    AnswerStatus status;
    std::string problem;
    if (question <= kDumpPrefix) {
      std::string& path = pathAnswer(question, request);
      status = readPath(input, kMaxPathLength, path);
      problem = pathProblemFor(question, status, path);
    } else {
      std::int64_t value = 0;
      status = readNumberAnswer(input, question, request, value);
      problem = numberProblem(status, value, question, request);
    }
    if (status == AnswerStatus::ok && problem.empty()) return true;
    if (!explainRetry(status, problem, attempts)) return false;
  }
}

}  // namespace

const char* answerName(std::size_t index) {
  return index < kQuestionCount ? kAnswers[index].name : "";
}

std::string answerUsageLine(std::size_t index) {
  std::string name = answerName(index);
  name.resize(9, ' ');
  return "  " + name + kAnswers[index].usage + "\n";
}

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

bool askUpToStart(AnswerInput& input, std::size_t given, DumpRequest& request) {
  if (given < kQuestionCount) {
    say(onItsOwnLine(Text::banner));
    say(std::string(textOf(Text::credit)) + "\n\n");
  }
  for (std::size_t question = given; question < kStartAddress; ++question) {
    if (!ask(input, question, request)) return false;
  }
  return true;
}

bool askStart(AnswerInput& input, std::size_t given, DumpRequest& request) {
  if (given == kQuestionCount) return true;
  char hint[64];
  std::snprintf(hint, sizeof hint, textOf(Text::dataStarts), kDataStartHint);
  say("\n");
  say(hint);
  say("\n");
  return ask(input, kStartAddress, request);
}

}  // namespace velloran
