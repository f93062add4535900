#include "console/terminal_graphics.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "console/console_output.h"
#include "platform/platform.h"
#include "texts/numbers.h"

namespace velloran {

namespace {

constexpr const char* kKittyQuery = "\x1B_Gi=31,s=1,v=1,a=q,t=d,f=24;AAAA\x1B\\";
constexpr const char* kCellSizeQuery = "\x1B[16t";
constexpr const char* kAttributesQuery = "\x1B[c";

// The numbers of a reply "ESC [ <prefix> n;n;...<final>" found in `text`.
bool findReply(const std::string& text, const std::string& prefix, char final, std::vector<int>& numbers) {
  const std::string start = "\x1B[" + prefix;
  for (std::size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
    std::size_t end = at + start.size();
    while (end < text.size() && ((text[end] >= '0' && text[end] <= '9') || text[end] == ';')) ++end;
    if (end >= text.size() || text[end] != final) continue;
    numbers.clear();
    for (std::size_t part = at + start.size(); part < end;) {
      std::size_t next = text.find(';', part);
      if (next == std::string::npos || next > end) next = end;
      // Digits past what an int holds saturate: a terminal's answer may be anything.
      constexpr std::uint64_t kLargest = 1000000000;
      std::uint64_t number = 0;
      if (readNumber(std::string_view(text).substr(part, next - part), NumberGrammar::decimal, kLargest, number) ==
          NumberRead::tooLarge) {
        number = kLargest;
      }
      numbers.push_back(static_cast<int>(number));
      part = next + 1;
    }
    return true;
  }
  return false;
}

// Answers may still come after this moment: the queries went, and the
// device attributes had not come back when we stopped waiting.
bool repliesOutstanding = false;
std::chrono::steady_clock::time_point queriesSent;

// Reads answers into `replies` until the device attributes are among them,
// the `deadline` passes or a stop request comes; the terminal takes keys
// one by one meanwhile, unechoed.
void readRepliesUntil(std::string& replies, std::chrono::steady_clock::time_point deadline) {
  if (!enterKeyMode("")) return;
  while (!readQueryReplies(replies).complete) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const unsigned events = waitForTerminal(static_cast<int>(left.count()));
    if (events == 0 || (events & kStopRequested) != 0) break;
    if ((events & kKeysReady) == 0) continue;  // a resize, say
    char bytes[256];
    bool ended = false;
    const std::size_t count = readKeyBytes(bytes, sizeof bytes, ended);
    if (ended) break;
    replies.append(bytes, count);
  }
  leaveKeyMode();
  repliesOutstanding = !readQueryReplies(replies).complete;
}

// Sends the queries and reads until the device attributes arrive, or the
// time is up.
std::string askTerminal(bool kitty, bool cellSize) {
  std::string replies;
  if (!enterKeyMode("")) return replies;
  std::string query = std::string(kitty ? kKittyQuery : "") + (cellSize ? kCellSizeQuery : "") + kAttributesQuery;
  sayWithoutWaiting(query);
  queriesSent = std::chrono::steady_clock::now();
  readRepliesUntil(replies, queriesSent + std::chrono::milliseconds(kQueryMilliseconds));
  return replies;
}

}  // namespace

QueryReplies readQueryReplies(const std::string& replies) {
  QueryReplies found{false, 0, 0, false, false};
  found.kittyAnswered = replies.find("\x1B_Gi=31;OK") != std::string::npos;
  std::vector<int> numbers;
  if (findReply(replies, "", 't', numbers) && numbers.size() == 3 && numbers[0] == 6) {
    found.cellHeight = numbers[1];
    found.cellWidth = numbers[2];
  }
  if (findReply(replies, "?", 'c', numbers)) {
    found.complete = true;
    for (std::size_t index = 1; index < numbers.size(); ++index) found.sixel = found.sixel || numbers[index] == 4;
  }
  return found;
}

bool terminalRoom(int& columns, int& rows) {
  if (!terminalSize(columns, rows)) return false;
  columns = std::min(columns, kLargestRoomColumns);
  rows = std::min(rows, kLargestRoomRows);
  return true;
}

void boundCellPixels(int columns, int rows, int& cellWidth, int& cellHeight) {
  cellWidth = std::max(1, std::min(cellWidth, kLargestCellWidth));
  cellHeight = std::max(1, std::min(cellHeight, kLargestCellHeight));
  const std::int64_t pixels = std::int64_t{std::max(1, columns)} * cellWidth * std::max(1, rows) * cellHeight;
  if (pixels <= kLargestScreenPixels) return;
  const double scale = std::sqrt(static_cast<double>(kLargestScreenPixels) / static_cast<double>(pixels));
  cellWidth = std::max(1, static_cast<int>(cellWidth * scale));
  cellHeight = std::max(1, static_cast<int>(cellHeight * scale));
}

bool terminalCellSize(int& cellWidth, int& cellHeight) {
  if (!terminalCellPixels(cellWidth, cellHeight)) return false;
  boundCellPixels(1, 1, cellWidth, cellHeight);
  return true;
}

void dropLateReplies() {
  if (!repliesOutstanding) return;
  std::string replies;
  readRepliesUntil(replies, queriesSent + std::chrono::seconds(1));
  repliesOutstanding = false;
}

TerminalGraphics findTerminalGraphics(GraphicsChoice choice) {
  TerminalGraphics graphics{GraphicsMode::blocks, kDefaultCellWidth, kDefaultCellHeight};
  const bool cellSizeKnown = terminalCellSize(graphics.cellWidth, graphics.cellHeight);
  if (choice == GraphicsChoice::sixel) graphics.mode = GraphicsMode::sixel;
  if (choice == GraphicsChoice::kitty) graphics.mode = GraphicsMode::kitty;
  const bool inTerminal = standardStreamsAreTerminals();
  if (choice == GraphicsChoice::blocks || !inTerminal) return graphics;
  if (choice != GraphicsChoice::automatic && cellSizeKnown) return graphics;
  const std::string term = terminalType();
  const bool kittyByName = term == "xterm-kitty" || term == "xterm-ghostty";
  const bool askKitty = choice == GraphicsChoice::automatic && !kittyByName;
  const QueryReplies replies = readQueryReplies(askTerminal(askKitty, !cellSizeKnown));
  if (!cellSizeKnown && replies.cellWidth > 0 && replies.cellHeight > 0) {
    graphics.cellWidth = replies.cellWidth;
    graphics.cellHeight = replies.cellHeight;
    boundCellPixels(1, 1, graphics.cellWidth, graphics.cellHeight);
  }
  if (choice == GraphicsChoice::automatic) {
    if (kittyByName || replies.kittyAnswered) {
      graphics.mode = GraphicsMode::kitty;
    } else if (replies.sixel) {
      graphics.mode = GraphicsMode::sixel;
    }
  }
  return graphics;
}

}  // namespace velloran
