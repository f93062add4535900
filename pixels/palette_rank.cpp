#include "pixels/palette_rank.h"

#include <algorithm>
#include <cmath>

namespace velloran {

namespace {

// A quantised palette spreads its colours: a candidate whose closest two
// used colours are much closer than two pixels at random is held back by
// this power of that ratio (measured: it takes 4-colour pictures' own
// palettes from past the 20th place to the first few, and leaves 16-colour
// ones first).
constexpr double kSpread = 0.25;

// The bits of a word that no field of the format takes.
std::uint32_t unusedBits(const PixelFormat& format) {
  std::uint32_t used = 0;
  for (const FieldBits& field : format.fields) {
    if (field.bits != 0) used |= ((std::uint32_t{1} << field.bits) - 1) << field.shift;
  }
  const std::uint32_t word = format.wordBytes >= 4 ? 0xFFFFFFFFu : (std::uint32_t{1} << (8 * format.wordBytes)) - 1;
  return word & ~used;
}

double distance(std::uint32_t one, std::uint32_t other) {
  const double red = static_cast<double>((one >> 16) & 0xFF) - static_cast<double>((other >> 16) & 0xFF);
  const double green = static_cast<double>((one >> 8) & 0xFF) - static_cast<double>((other >> 8) & 0xFF);
  const double blue = static_cast<double>(one & 0xFF) - static_cast<double>(other & 0xFF);
  return std::sqrt(red * red + green * green + blue * blue);
}

// A pair of indices and how often it counts.
struct WeightedPair {
  std::uint16_t first;
  std::uint16_t second;
  double weight;
};

// The pairs with a weight, once each: neighbours, and pixels at random.
void pairsOf(const PictureIndices& picture, std::vector<WeightedPair>& neighbours, std::vector<WeightedPair>& random) {
  const unsigned n = picture.colours;
  double neighbourTotal = 0;
  for (const std::uint64_t count : picture.neighbours) neighbourTotal += static_cast<double>(count);
  for (unsigned i = 0; i < n; ++i) {
    for (unsigned j = i + 1; j < n; ++j) {
      const std::uint64_t count = picture.neighbours[std::size_t{i} * n + j];
      if (count != 0) {
        neighbours.push_back({static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(j),
                              static_cast<double>(count) / neighbourTotal});
      }
    }
  }
  double pixels = 0;
  for (const std::uint64_t count : picture.counts) pixels += static_cast<double>(count);
  for (unsigned i = 0; i < n; ++i) {
    for (unsigned j = i + 1; j < n && picture.counts[i] != 0; ++j) {
      if (picture.counts[j] == 0) continue;
      const double weight = 2.0 * static_cast<double>(picture.counts[i]) * static_cast<double>(picture.counts[j]) /
                            (pixels * pixels);
      random.push_back({static_cast<std::uint16_t>(i), static_cast<std::uint16_t>(j), weight});
    }
  }
}

// Whether two of the indices the picture uses much (1 pixel in 100 or more)
// have the same colour: no artist spends two indices on one colour, but runs
// of tile bytes that repeat a word look like such palettes.
bool sameColourTwice(const std::vector<std::uint16_t>& used, const std::uint32_t* colours) {
  for (std::size_t one = 0; one < used.size(); ++one) {
    for (std::size_t other = one + 1; other < used.size(); ++other) {
      if (colours[used[one]] == colours[used[other]]) return true;
    }
  }
  return false;
}

// The distance between the closest two of the colours the picture uses much.
double closestUsed(const std::vector<std::uint16_t>& used, const std::uint32_t* colours) {
  double closest = 1e9;
  for (std::size_t one = 0; one < used.size(); ++one) {
    for (std::size_t other = one + 1; other < used.size(); ++other) {
      closest = std::min(closest, distance(colours[used[one]], colours[used[other]]));
    }
  }
  return closest;
}

double meanDistance(const std::vector<WeightedPair>& pairs, const std::uint32_t* colours) {
  double sum = 0;
  for (const WeightedPair& pair : pairs) sum += pair.weight * distance(colours[pair.first], colours[pair.second]);
  return sum;
}

}  // namespace

std::vector<std::uint64_t> findPaletteCandidates(const unsigned char* rom, std::size_t size, const PixelFormat& format,
                                                 unsigned bits) {
  std::vector<std::uint64_t> found;
  const unsigned wordBytes = format.wordBytes;
  if (wordBytes != 2 || bits == 0 || bits > 8) return found;  // 16-bit colours, as palettes keep them
  const std::size_t n = std::size_t{1} << bits;
  const std::size_t words = size / 2;
  if (words < n) return found;
  const std::uint32_t unused = unusedBits(format);
  const std::size_t enough = std::max<std::size_t>(2, n / 2);
  // A window of n words slides one word at a time: how many of each value
  // it holds, how many distinct, and how many have unused bits set.
  std::vector<std::uint16_t> held(65536, 0);
  std::size_t distinct = 0;
  std::size_t dirty = 0;
  const auto wordAtIndex = [&](std::size_t k) { return wordAt(rom + 2 * k, 2, format.bigEndian); };
  const auto add = [&](std::size_t k, int step) {
    const std::uint32_t word = wordAtIndex(k);
    if ((word & unused) != 0) dirty = step > 0 ? dirty + 1 : dirty - 1;
    if (step > 0) {
      if (held[word]++ == 0) ++distinct;
    } else if (--held[word] == 0) {
      --distinct;
    }
  };
  for (std::size_t k = 0; k < n; ++k) add(k, 1);
  for (std::size_t first = 0;; ++first) {
    if (dirty == 0 && distinct >= enough) found.push_back(std::uint64_t{first} * 2);
    if (first + n >= words) break;
    add(first, -1);
    add(first + n, 1);
  }
  return found;
}

PictureIndices startPictureIndices(unsigned bits) {
  PictureIndices picture;
  picture.colours = 1u << bits;
  picture.neighbours.assign(std::size_t{picture.colours} * picture.colours, 0);
  picture.counts.assign(picture.colours, 0);
  return picture;
}

void addPictureIndices(PictureIndices& picture, const unsigned char* indices, std::uint32_t width, std::uint32_t height) {
  const unsigned n = picture.colours;
  const auto note = [&](unsigned one, unsigned other) {
    if (one >= n || other >= n) return;
    picture.neighbours[std::size_t{std::min(one, other)} * n + std::max(one, other)] += 1;
  };
  for (std::uint32_t y = 0; y < height; ++y) {
    const unsigned char* row = indices + std::size_t{y} * width;
    for (std::uint32_t x = 0; x < width; ++x) {
      if (row[x] < n) picture.counts[row[x]] += 1;
      if (x + 1 < width) note(row[x], row[x + 1]);
      if (y + 1 < height) note(row[x], row[x + width]);
    }
  }
}

std::vector<RankedPalette> rankPalettes(const unsigned char* rom, std::size_t size, const PixelFormat& format,
                                        const std::vector<std::uint64_t>& candidates, const PictureIndices& picture,
                                        std::uint64_t skipFrom, std::uint64_t skipTo) {
  std::vector<RankedPalette> ranked;
  std::vector<WeightedPair> neighbours;
  std::vector<WeightedPair> random;
  pairsOf(picture, neighbours, random);
  std::uint64_t pixels = 0;
  for (const std::uint64_t count : picture.counts) pixels += count;
  std::vector<std::uint16_t> used;
  for (unsigned index = 0; index < picture.colours; ++index) {
    if (picture.counts[index] * 100 >= pixels && picture.counts[index] > 0) used.push_back(static_cast<std::uint16_t>(index));
  }
  const PixelDecoder decoder = makeDecoder(format, false);
  const std::uint64_t tableStride = std::uint64_t{picture.colours} * 2;
  std::vector<std::uint32_t> colours(picture.colours);
  // The table of banks each candidate is in: the candidates a palette's size
  // apart, in a row, found in one pass from the lowest offset up.
  std::vector<std::uint64_t> tableStarts(candidates.size());
  for (std::size_t index = 0; index < candidates.size(); ++index) {
    const std::uint64_t offset = candidates[index];
    const auto before = offset >= tableStride
                            ? std::lower_bound(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(index),
                                               offset - tableStride)
                            : candidates.end();
    const bool inTable = before != candidates.end() && before != candidates.begin() + static_cast<std::ptrdiff_t>(index) &&
                         *before == offset - tableStride;
    tableStarts[index] = inTable ? tableStarts[static_cast<std::size_t>(before - candidates.begin())] : offset;
  }
  for (std::size_t index = 0; index < candidates.size(); ++index) {
    const std::uint64_t offset = candidates[index];
    const std::uint64_t end = offset + tableStride;
    if (end > size || (offset < skipTo && end > skipFrom)) continue;
    decodeColours(decoder, rom + offset, picture.colours, colours.data());
    if (sameColourTwice(used, colours.data())) continue;
    const double apart = meanDistance(random, colours.data());
    if (apart <= 0) continue;  // the picture's colours all alike: no ranking
    const std::uint64_t tableStart = tableStarts[index];
    ranked.push_back({offset, tableStart, static_cast<std::uint32_t>((offset - tableStart) / tableStride),
                      meanDistance(neighbours, colours.data()) / apart *
                          std::pow(apart / std::max(1.0, closestUsed(used, colours.data())), kSpread)});
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const RankedPalette& one, const RankedPalette& other) { return one.score < other.score; });
  return ranked;
}

}  // namespace velloran
