// What the dump's events and problems say, as the transcript has them.
#include "dump/dump.h"
#include "texts/texts.h"

namespace velloran {

namespace {

// Each problem's text, in DumpProblem's order.
constexpr Text kMessages[] = {Text::unableToWrite, Text::incompleteFileLeft, Text::noMemory};
static_assert(sizeof kMessages / sizeof kMessages[0] == static_cast<std::size_t>(DumpProblem::noMemory) + 1,
              "a text for every DumpProblem");

}  // namespace

const char* dumpMessage(DumpProblem problem) {
  return textOf(kMessages[static_cast<int>(problem)]);
}

const char* romStopMessage(RomStop stop) {
  return textOf(stop == RomStop::ended ? Text::romEnded : Text::romUnreadable);
}

bool everyImageWritten(const DumpResult& result) {
  const bool allDone = result.end == DumpEnd::completed || (result.end == DumpEnd::romStopped && result.rom == RomStop::ended);
  return allDone && result.allWritten;
}

std::string eventText(const DumpEvent& event) {
  const auto message = [](DumpProblem problem) { return std::string("\n") + dumpMessage(problem); };
  switch (event.kind) {
    case DumpEventKind::snapshotOpened:
      return "\n" + std::string(textOf(Text::opening)) + printableText(event.name);
    case DumpEventKind::snapshotFailed: {
      std::string text = event.problem != DumpProblem::incompleteFileLeft ? message(event.problem) : "";
      if (event.fileLeftBehind) text += message(DumpProblem::incompleteFileLeft) + printableText(event.name);
      return text;
    }
    case DumpEventKind::romStopped:
      return std::string("\n") + romStopMessage(event.rom);
    default:
      return "";
  }
}

}  // namespace velloran
