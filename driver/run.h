#pragma once

#include <string>
#include <vector>

namespace velloran {

// How a run ended: the exit status, and the stop request (a signal number)
// that cut it short, or 0. The process is ended by that request only once
// everything it holds was given back.
constexpr int kStatusWritten = 0;
constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;

struct RunResult {
  int status;
  int stopRequest;
};

// The whole run, as the command line asks: help, the version, the formats'
// list, a usage error, the live view, or the dump (options and up to six
// answers from `arguments`, the other questions on standard input, one
// snapshot per image, the final ROM position on standard output). Status 0 when every snapshot attempted was written, 1
// when the run failed, 2 for a command line that cannot be used.
RunResult runCommand(const std::vector<std::string>& arguments);

// Flushes what was said and gives `status`, or 1 where standard output failed.
int finish(int status);

// Flushes and closes standard output, the last check that all of it was
// written; the status to exit with.
int endOutput(int status);

}  // namespace velloran
