#include "console/median_cut.h"

#include <algorithm>
#include <cstdlib>

namespace velloran {

namespace {

struct Counted {
  std::uint32_t colour;
  std::uint64_t pixels;
};

unsigned channelOf(std::uint32_t colour, int channel) {
  return (colour >> (16 - 8 * channel)) & 0xFFu;
}

// A box: a run of the colours, and how far each channel spreads in it.
struct Box {
  std::size_t begin;
  std::size_t end;
  unsigned spread[3];
};

Box boxOf(const std::vector<Counted>& colours, std::size_t begin, std::size_t end) {
  Box box{begin, end, {0, 0, 0}};
  for (int channel = 0; channel < 3; ++channel) {
    unsigned low = 255;
    unsigned high = 0;
    for (std::size_t at = begin; at < end; ++at) {
      low = std::min(low, channelOf(colours[at].colour, channel));
      high = std::max(high, channelOf(colours[at].colour, channel));
    }
    box.spread[channel] = high - low;
  }
  return box;
}

int widestChannel(const Box& box) {
  return static_cast<int>(std::max_element(box.spread, box.spread + 3) - box.spread);
}

// Splits the box whose widest channel spreads most, at its pixels' median;
// false when no box holds two colours.
bool splitWidest(std::vector<Counted>& colours, std::vector<Box>& boxes) {
  std::size_t widest = boxes.size();
  for (std::size_t at = 0; at < boxes.size(); ++at) {
    const Box& box = boxes[at];
    if (box.end - box.begin < 2) continue;
    if (widest == boxes.size() || box.spread[widestChannel(box)] > boxes[widest].spread[widestChannel(boxes[widest])]) {
      widest = at;
    }
  }
  if (widest == boxes.size()) return false;
  const Box box = boxes[widest];
  const int channel = widestChannel(box);
  const auto first = colours.begin() + static_cast<std::ptrdiff_t>(box.begin);
  const auto last = colours.begin() + static_cast<std::ptrdiff_t>(box.end);
  std::sort(first, last, [channel](const Counted& a, const Counted& b) {
    return channelOf(a.colour, channel) < channelOf(b.colour, channel);
  });
  std::uint64_t total = 0;
  for (auto at = first; at != last; ++at) total += at->pixels;
  std::uint64_t below = 0;
  std::size_t split = box.begin + 1;
  for (std::size_t at = box.begin; at + 1 < box.end; ++at) {
    below += colours[at].pixels;
    split = at + 1;
    if (2 * below >= total) break;
  }
  boxes[widest] = boxOf(colours, box.begin, split);
  boxes.push_back(boxOf(colours, split, box.end));
  return true;
}

std::uint32_t meanOf(const std::vector<Counted>& colours, const Box& box) {
  std::uint64_t sums[3] = {0, 0, 0};
  std::uint64_t pixels = 0;
  for (std::size_t at = box.begin; at < box.end; ++at) {
    for (int channel = 0; channel < 3; ++channel) sums[channel] += channelOf(colours[at].colour, channel) * colours[at].pixels;
    pixels += colours[at].pixels;
  }
  std::uint32_t mean = 0;
  for (int channel = 0; channel < 3; ++channel) {
    mean = mean << 8 | static_cast<std::uint32_t>((sums[channel] + pixels / 2) / std::max<std::uint64_t>(1, pixels));
  }
  return mean;
}

// The palette's channels apart, so that the distances to all its entries
// are one loop the compiler turns into vector code.
struct Channels {
  std::vector<int> red;
  std::vector<int> green;
  std::vector<int> blue;
  std::vector<int> distance;
};

Channels channelsOf(const std::vector<std::uint32_t>& palette) {
  Channels channels{{}, {}, {}, std::vector<int>(palette.size())};
  for (const std::uint32_t colour : palette) {
    channels.red.push_back(static_cast<int>(channelOf(colour, 0)));
    channels.green.push_back(static_cast<int>(channelOf(colour, 1)));
    channels.blue.push_back(static_cast<int>(channelOf(colour, 2)));
  }
  return channels;
}

int nearestEntry(Channels& channels, std::uint32_t colour) {
  const int red = static_cast<int>(channelOf(colour, 0));
  const int green = static_cast<int>(channelOf(colour, 1));
  const int blue = static_cast<int>(channelOf(colour, 2));
  const std::size_t count = channels.red.size();
  for (std::size_t at = 0; at < count; ++at) {
    const int r = channels.red[at] - red;
    const int g = channels.green[at] - green;
    const int b = channels.blue[at] - blue;
    channels.distance[at] = r * r + g * g + b * b;
  }
  return static_cast<int>(std::min_element(channels.distance.begin(), channels.distance.end()) - channels.distance.begin());
}

// Past this many colours each takes its box's entry: a search of 256 for
// each would cost a frame more than its drawing.
constexpr std::size_t kMostSearched = 16384;

// Below it, the median cut's entries are refined this many times: each
// colour to its nearest entry, each entry the mean of its colours' pixels
// (Lloyd's steps), which lowers the mean error by a good part.
constexpr int kRefinements = 3;

void refine(const std::vector<Counted>& colours, std::vector<std::uint32_t>& palette) {
  std::vector<std::uint64_t> sums(palette.size() * 4);
  for (int step = 0; step < kRefinements; ++step) {
    std::fill(sums.begin(), sums.end(), 0);
    Channels channels = channelsOf(palette);
    for (const Counted& counted : colours) {
      const auto entry = static_cast<std::size_t>(nearestEntry(channels, counted.colour));
      for (int channel = 0; channel < 3; ++channel) sums[4 * entry + channel] += channelOf(counted.colour, channel) * counted.pixels;
      sums[4 * entry + 3] += counted.pixels;
    }
    for (std::size_t entry = 0; entry < palette.size(); ++entry) {
      const std::uint64_t pixels = sums[4 * entry + 3];
      if (pixels == 0) continue;
      std::uint32_t mean = 0;
      for (int channel = 0; channel < 3; ++channel) {
        mean = mean << 8 | static_cast<std::uint32_t>((sums[4 * entry + channel] + pixels / 2) / pixels);
      }
      palette[entry] = mean;
    }
  }
}

}  // namespace

ChosenColours chooseColours(const std::unordered_map<std::uint32_t, std::uint64_t>& counts, std::size_t most) {
  ChosenColours chosen{{}, {}, counts.size() <= most, 0, 0.0};
  std::vector<Counted> colours;
  colours.reserve(counts.size());
  for (const auto& entry : counts) colours.push_back(Counted{entry.first, entry.second});
  // In colour order: the same picture gets the same palette, whatever the map's order.
  std::sort(colours.begin(), colours.end(), [](const Counted& a, const Counted& b) { return a.colour < b.colour; });
  if (chosen.exact) {
    for (const Counted& counted : colours) {
      chosen.indexOf[counted.colour] = static_cast<int>(chosen.palette.size());
      chosen.palette.push_back(counted.colour);
    }
    return chosen;
  }
  std::vector<Box> boxes{boxOf(colours, 0, colours.size())};
  while (boxes.size() < most && splitWidest(colours, boxes)) {
  }
  for (const Box& box : boxes) chosen.palette.push_back(meanOf(colours, box));
  const bool search = colours.size() <= kMostSearched;
  if (search) refine(colours, chosen.palette);
  Channels channels = channelsOf(chosen.palette);
  std::uint64_t moved = 0;
  std::uint64_t pixels = 0;
  for (std::size_t entry = 0; entry < boxes.size(); ++entry) {
    for (std::size_t at = boxes[entry].begin; at < boxes[entry].end; ++at) {
      const std::uint32_t colour = colours[at].colour;
      const int index = search ? nearestEntry(channels, colour) : static_cast<int>(entry);
      chosen.indexOf[colour] = index;
      for (int channel = 0; channel < 3; ++channel) {
        const auto error = static_cast<unsigned>(std::abs(static_cast<int>(channelOf(colour, channel)) -
                                                          static_cast<int>(channelOf(chosen.palette[static_cast<std::size_t>(index)], channel))));
        chosen.largestError = std::max(chosen.largestError, error);
        moved += std::uint64_t{error} * colours[at].pixels;
      }
      pixels += colours[at].pixels;
    }
  }
  chosen.meanError = pixels == 0 ? 0.0 : static_cast<double>(moved) / static_cast<double>(3 * pixels);
  return chosen;
}

}  // namespace velloran
