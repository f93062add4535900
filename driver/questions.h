// The six questions: the prompts, the checks of every answer, and the
// answers given as arguments, which go through the same checks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console/answer_reader.h"
#include "dump/answers.h"
#include "dump/dump.h"
#include "platform/platform.h"

namespace velloran {

// The line (or lines) --help gives each of the six answers (dump/answers.h).
std::string answerUsageLine(std::size_t index);

// Takes the answers given as arguments, in the questions' order. False, with
// the usage problem, when one cannot be used: then nothing is asked.
bool takeArguments(const std::vector<std::string>& answers, DumpRequest& request, std::string& usageProblem);

// The dialogue: the questions that the first `given` answers (the arguments)
// left open, each asked until its answer can be used, read from `input`.
// Those before START first (with the banner, when any is asked), then START
// (with its hint); the ROM is opened in between, as the dialogue always has.
// False when the run must end; the reason is printed.
bool askUpToStart(AnswerInput& input, std::size_t given, DumpRequest& request);
bool askStart(AnswerInput& input, std::size_t given, DumpRequest& request);

}  // namespace velloran
