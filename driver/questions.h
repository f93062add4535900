// The six questions: the prompts, the checks of every answer, and the
// answers given as arguments, which go through the same checks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "dump/dump.h"
#include "platform/platform.h"

namespace velloran {

// The names the usage line gives the six answers, in their order.
const char* answerName(std::size_t index);

// Takes the answers given as arguments, in the questions' order. False, with
// the usage problem, when one cannot be used: then nothing is asked.
bool takeArguments(const std::vector<std::string>& answers, DumpRequest& request, std::string& usageProblem);

// Asks the questions that the first `given` answers (the arguments) left
// open, each until its answer can be used, and opens the ROM before the last
// one, as the dialogue always has (`whyRomNotOpened` says why it did not).
// False when the run must end; the reason is printed.
bool askQuestions(std::size_t given, DumpRequest& request, FileHandle& rom, std::string& whyRomNotOpened);

}  // namespace velloran
