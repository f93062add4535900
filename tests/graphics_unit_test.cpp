#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "console/graphics.h"
#include "console/median_cut.h"
#include "console/screen.h"
#include "console/terminal_graphics.h"

namespace velloran {
namespace {

std::vector<std::string> kittyChunks(const std::string& text) {
  std::vector<std::string> chunks;
  for (std::size_t at = text.find("\x1B_G"); at != std::string::npos; at = text.find("\x1B_G", at + 1)) {
    chunks.push_back(text.substr(at, text.find("\x1B\\", at) + 2 - at));
  }
  return chunks;
}

TEST(Kitty, ChunksOfAtMost4096BytesTheFirstSayingAllAndTheLastEnding) {
  RgbImage image{40, 40, std::vector<std::uint32_t>(1600, rgb(1, 2, 3))};
  const std::string text = kittyText(image, 2, 1001);  // 80 x 80 x 3 bytes: 25600 in base64
  const std::vector<std::string> chunks = kittyChunks(text);
  ASSERT_EQ(chunks.size(), 7u);
  EXPECT_EQ(chunks[0].substr(0, 41), "\x1B_Gf=24,s=80,v=80,a=T,q=2,i=1001,m=1;AQID");
  for (std::size_t index = 0; index < chunks.size(); ++index) {
    const std::size_t payload = chunks[index].size() - chunks[index].find(';') - 3;
    EXPECT_LE(payload, 4096u);
    EXPECT_EQ(chunks[index].find(index + 1 == chunks.size() ? "m=0;" : "m=1;") != std::string::npos, true);
  }
  EXPECT_EQ(kittyDelete(1001), "\x1B_Ga=d,d=I,q=2,i=1001\x1B\\");
}

TEST(Sixel, RunsRepeatsAndABandForEverySixRows) {
  // 10 x 7 pixels: red but for one blue pixel, zoomed twice: 20 x 14, three bands.
  RgbImage image{10, 7, std::vector<std::uint32_t>(70, rgb(255, 0, 0))};
  image.pixels[0] = rgb(0, 0, 255);
  SixelColours colours{};
  const std::string text = sixelText(image, 2, &colours);
  EXPECT_TRUE(colours.exact);
  EXPECT_EQ(colours.inImage, 2u);
  EXPECT_EQ(text.substr(0, 20), "\x1BP0;1;0q\"1;1;20;14#0");
  EXPECT_NE(text.find("#0;2;0;0;100#1;2;100;0;0"), std::string::npos);  // in colour order
  // The first band: blue in rows 0-1 of columns 0-1 (bits 0-1: B), red below them ({) and all of the rest (~).
  EXPECT_NE(text.find("#0BB$#1{{!18~-"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\x1B\\");
  EXPECT_EQ(std::count(text.begin(), text.end(), '-'), 3);
  // Nothing to draw (past the ROM's end) draws nothing, leaving the background.
  RgbImage empty{2, 1, {kNoColour, kNoColour}};
  EXPECT_EQ(sixelText(empty, 1), "\x1BP0;1;0q\"1;1;2;1-\x1B\\");
}

TEST(Sixel, PastTwoHundredAndFiftySixColoursAPaletteOfTheImagesOwn) {
  RgbImage image{32, 32, {}};
  for (unsigned index = 0; index < 1024; ++index) image.pixels.push_back(rgb(index % 256, (index * 7) % 256, index / 4));
  SixelColours colours{};
  sixelText(image, 1, &colours);
  EXPECT_FALSE(colours.exact);
  EXPECT_GT(colours.inImage, 256u);
  EXPECT_LE(colours.largestError, 32u);
  EXPECT_LE(colours.meanError, 8.0);
  EXPECT_GT(colours.largestError, 0u);
}

// A navy background with a few hundred other colours on it: the background
// keeps its colour (a fixed palette of evenly spaced levels made it purple).
TEST(MedianCut, ADominantColourKeepsItsOwnEntry) {
  std::unordered_map<std::uint32_t, std::uint64_t> counts;
  const std::uint32_t navy = rgb(41, 57, 90);
  counts[navy] = 100000;
  for (std::uint32_t index = 0; index < 600; ++index) counts[rgb(index * 37 % 256, index * 91 % 256, index * 53 % 256)] += 3;
  const ChosenColours chosen = chooseColours(counts);
  EXPECT_FALSE(chosen.exact);
  EXPECT_LE(chosen.palette.size(), 256u);
  EXPECT_EQ(chosen.palette[static_cast<std::size_t>(chosen.indexOf.at(navy))], navy);
  EXPECT_LE(chosen.largestError, 32u);
  // The same colours, whatever the map's order, give the same palette.
  std::unordered_map<std::uint32_t, std::uint64_t> again(counts.begin(), counts.end());
  again.rehash(4096);
  EXPECT_EQ(chooseColours(again).palette, chosen.palette);
}

// Up to 256 colours every one is its own entry, in colour order; 257 are not.
TEST(MedianCut, UpTo256ColoursAreExact) {
  for (const std::uint32_t count : {1u, 2u, 255u, 256u, 257u}) {
    std::unordered_map<std::uint32_t, std::uint64_t> counts;
    for (std::uint32_t index = 0; index < count; ++index) counts[index * 65537u] = 1 + index % 3;
    const ChosenColours chosen = chooseColours(counts);
    EXPECT_EQ(chosen.exact, count <= 256) << count;
    if (!chosen.exact) continue;
    EXPECT_EQ(chosen.largestError, 0u);
    for (const auto& entry : counts) EXPECT_EQ(chosen.palette[static_cast<std::size_t>(chosen.indexOf.at(entry.first))], entry.first);
    EXPECT_TRUE(std::is_sorted(chosen.palette.begin(), chosen.palette.end()));
  }
}

TEST(TerminalReplies, TheQueriesAnswersRead) {
  const struct {
    const char* replies;
    bool kitty;
    int cellWidth;
    int cellHeight;
    bool sixel;
    bool complete;
  } cases[] = {
      {"\x1B_Gi=31;OK\x1B\\\x1B[6;20;10t\x1B[?62;22c", true, 10, 20, false, true},
      {"\x1B[6;18;9t\x1B[?63;1;2;4;6;9;15;22c", false, 9, 18, true, true},
      {"\x1B[?64;4c", false, 0, 0, true, true},
      {"\x1B[?62;14;22c", false, 0, 0, false, true},  // 14 is not 4
      {"\x1B[6;20", false, 0, 0, false, false},        // cut off
      {"\x1B[6;99999999999;2000000000t\x1B[?62c", false, 1000000000, 1000000000, false, true},  // saturates
      {"", false, 0, 0, false, false},
  };
  for (const auto& c : cases) {
    const QueryReplies found = readQueryReplies(c.replies);
    EXPECT_EQ(found.kittyAnswered, c.kitty) << c.replies + 1;
    EXPECT_EQ(found.cellWidth, c.cellWidth) << c.replies + 1;
    EXPECT_EQ(found.cellHeight, c.cellHeight) << c.replies + 1;
    EXPECT_EQ(found.sixel, c.sixel) << c.replies + 1;
    EXPECT_EQ(found.complete, c.complete) << c.replies + 1;
  }
}

}  // namespace
}  // namespace velloran
