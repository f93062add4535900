// Palettes found for a picture: every place in the ROM that looks like a
// palette, ranked by how natural it makes the picture.
//
// Looking like a palette is not enough (runs of tile bytes do too), so the
// picture decides: a natural picture's neighbouring pixels have close
// colours. From one pass over the picture, count how often index i sits next
// to index j (and how often each index occurs); a candidate's score is the
// mean colour distance between neighbours divided by the mean distance
// between two of the picture's pixels taken at random, both weighted by
// those counts. Lower is better; each score is a few hundred operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixels/pixel_decoder.h"
#include "pixels/pixel_format.h"

namespace velloran {

// Where a palette may start: 2^bits words of `format` at an even offset,
// every word's unused bits clear, at least half of them (and 2) distinct.
std::vector<std::uint64_t> findPaletteCandidates(const unsigned char* rom, std::size_t size, const PixelFormat& format,
                                                 unsigned bits);

// How a picture's indices sit: neighbours (right and below) and counts.
struct PictureIndices {
  unsigned colours = 0;                 // 2^bits
  std::vector<std::uint64_t> neighbours;  // colours x colours: i next to j (i <= j)
  std::vector<std::uint64_t> counts;      // how often each index occurs
};

PictureIndices startPictureIndices(unsigned bits);

// One image's indices, `width` x `height`, row after row.
void addPictureIndices(PictureIndices& picture, const unsigned char* indices, std::uint32_t width, std::uint32_t height);

struct RankedPalette {
  std::uint64_t offset;      // of its first colour
  std::uint64_t tableStart;  // of the table of banks it is in (itself when it is alone)
  std::uint32_t bank;        // its bank in that table
  double score;              // lower is better
};

// The candidates outside [skipFrom, skipTo) (the picture's own bytes),
// best first. `rom` holds the candidates' colours.
std::vector<RankedPalette> rankPalettes(const unsigned char* rom, std::size_t size, const PixelFormat& format,
                                        const std::vector<std::uint64_t>& candidates, const PictureIndices& picture,
                                        std::uint64_t skipFrom, std::uint64_t skipTo);

}  // namespace velloran
