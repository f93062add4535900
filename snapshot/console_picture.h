// A raw image drawn as text for a terminal that shows 24-bit colour. Each
// character cell is the upper half block, so it holds two square pixels:
//
//   ESC[38;2;R;G;Bm ESC[48;2;R;G;Bm U+2580   one cell: the upper pixel as
//                                            foreground, the lower as background
//   "\n" cell cell ... cell ESC[0m           one line: two pixel rows
//   "\n" ESC[38;2;R;G;Bm U+2580 ... ESC[0m   a last single pixel row keeps the
//                                            default background
//
// R, G and B are the 5-bit fields widened to 8 bits, (v << 3) | (v >> 2);
// bit 15 changes no colour. The top row comes first, as the picture is seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velloran {

// The room a picture may take: character cells across, text lines down.
struct PictureBounds {
  std::uint32_t columns;
  std::uint32_t lines;
};

// The smallest whole factor k >= 1 by which a `width` x `height` image must
// shrink to fit: ceil(width / k) <= columns and ceil(height / k) <= 2 x lines.
std::uint64_t pictureScale(std::uint32_t width, std::uint32_t height, PictureBounds bounds);

// The picture of `width` x `height` pixels from `pixels` (raw ROM words, rows
// `sourceStride` bytes apart, top row first), shrunk by pictureScale: each of
// its pixels is the average of the k x k block it covers, the blocks at the
// right and bottom edges averaging what they hold. Every line starts with a
// line break, as the transcript's messages do; an empty image gives "".
// One pass over the pixels.
std::string pictureText(const unsigned char* pixels, std::size_t sourceStride, std::uint32_t width,
                        std::uint32_t height, PictureBounds bounds);

}  // namespace velloran
