#include "driver/questions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "console/console_output.h"
#include "console/answer_reader.h"
#include "driver/command_line.h"
#include "dump/answers.h"
#include "texts/texts.h"

namespace velloran {

namespace {

// Printed as a hint only; it is not used as an offset.
constexpr unsigned kDataStartHint = 0x20D;

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


// Every number must be 0 or more and within its row's largest; the sizes
// must make an image the format can hold (answers.h).
std::string numberAnswerProblem(AnswerStatus status, std::int64_t value, std::size_t question,
                                const DumpRequest& request) {
  if (status == AnswerStatus::ok) {
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const std::string problem = numberProblem(question, value < 0, magnitude, request);
    return problem.empty() ? "" : onItsOwnLine(problem);
  }
  if (status == AnswerStatus::notANumber) return onItsOwnLine(Text::notANumber);
  return onItsOwnLine(answerRow(question).tooLarge);
}

std::string pathProblemFor(std::size_t question, AnswerStatus status, const std::string& path) {
  return question == kDumpPrefix ? prefixProblem(status, path) : pathProblem(status, path);
}

std::string& pathAnswer(std::size_t question, DumpRequest& request) {
  return request.*answerRow(question).path;
}

// Reads the number that answers `question`, within its row's largest, and
// stores it once it is no negative number: the request holds only unsigned
// numbers.
AnswerStatus readNumberAnswer(AnswerInput& input, std::size_t question, DumpRequest& request,
                              std::int64_t& value) {
  const AnswerRow& row = answerRow(question);
  const AnswerStatus status = readNumber(input, row.largest, value);
  if (status != AnswerStatus::ok || value < 0) return status;
  if (row.size != nullptr) {
    request.*row.size = static_cast<std::uint32_t>(value);
  } else {
    request.startAddress = static_cast<std::uint64_t>(value);
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
  return numberAnswerProblem(status, value, question, request);
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
    say(textOf(answerRow(question).prompt));
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
      problem = numberAnswerProblem(status, value, question, request);
    }
    if (status == AnswerStatus::ok && problem.empty()) return true;
    if (!explainRetry(status, problem, attempts)) return false;
  }
}

}  // namespace

std::string answerUsageLine(std::size_t index) {
  std::string name = answerRow(index).name;
  name.resize(9, ' ');
  return "  " + name + answerRow(index).usage + "\n";
}

bool takeArguments(const std::vector<std::string>& answers, DumpRequest& request, std::string& usageProblem) {
  for (std::size_t index = 0; index < answers.size(); ++index) {
    std::string problem = argumentProblem(index, answers[index], request);
    if (problem.empty()) continue;
    // The dialogue's message, as one line.
    problem.erase(std::remove(problem.begin(), problem.end(), '\n'), problem.end());
    usageProblem = std::string(answerRow(index).name) + " '" + answers[index] + "': " + problem;
    return false;
  }
  return true;
}

bool askUpToStart(AnswerInput& input, std::size_t given, DumpRequest& request) {
  if (given < kAnswerCount) {
    say(onItsOwnLine(Text::banner));
    say(std::string(textOf(Text::credit)) + "\n\n");
  }
  for (std::size_t question = given; question < kStartAddress; ++question) {
    if (!ask(input, question, request)) return false;
  }
  return true;
}

bool askStart(AnswerInput& input, std::size_t given, DumpRequest& request) {
  if (given == kAnswerCount) return true;
  char hint[64];
  std::snprintf(hint, sizeof hint, textOf(Text::dataStarts), kDataStartHint);
  say("\n");
  say(hint);
  say("\n");
  return ask(input, kStartAddress, request);
}

}  // namespace velloran
