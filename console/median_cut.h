// At most 256 colours for a picture of any number (for sixel's registers):
// the picture's own where it has no more; else a median cut, each box split
// at the pixel count's median along its widest channel until there are 256,
// each colour of the palette the mean of its box's pixels. A colour is then
// drawn as the nearest of the palette (its box's colour where the picture
// has too many colours to search for each).
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace velloran {

struct ChosenColours {
  std::vector<std::uint32_t> palette;                  // 0xRRGGBB, at most `most`
  std::unordered_map<std::uint32_t, int> indexOf;      // each colour of the picture: its palette entry
  bool exact;                                          // every colour is its own entry
  unsigned largestError;                               // the most any channel of a pixel moved
  double meanError;                                    // what a channel moved on average, over the pixels
};

// `counts`: each colour of the picture and how many pixels have it.
ChosenColours chooseColours(const std::unordered_map<std::uint32_t, std::uint64_t>& counts, std::size_t most = 256);

}  // namespace velloran
