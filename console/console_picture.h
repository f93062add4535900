// A raw image drawn as text for a terminal that shows 24-bit colour. Each
// character cell is the upper half block, so it holds two square pixels:
//
//   ESC[38;2;R;G;Bm ESC[48;2;R;G;Bm U+2580   one cell: the upper pixel as
//                                            foreground, the lower as background
//   "\n" cell cell ... cell ESC[0m           one line: two pixel rows
//   "\n" ESC[38;2;R;G;Bm U+2580 ... ESC[0m   a last single pixel row keeps the
//                                            default background
//
// R, G and B are the format's fields widened to 8 bits by the one decoder
// (pixels/pixel_decoder.h); alpha changes no colour. The top row comes
// first, as the picture is seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/graphics.h"
#include "pixels/pixel_decoder.h"

namespace velloran {

// The room a picture may take: character cells across, text lines down.
struct PictureBounds {
  std::uint32_t columns;
  std::uint32_t lines;
};

// The smallest whole factor k >= 1 by which a `width` x `height` image must
// shrink to fit: ceil(width / k) <= columns and ceil(height / k) <= 2 x lines.
std::uint64_t pictureScale(std::uint32_t width, std::uint32_t height, PictureBounds bounds);

// The widened colours of one picture pixel's block, added up.
struct ColourSum {
  std::uint64_t red;
  std::uint64_t green;
  std::uint64_t blue;
  std::uint64_t pixels;
};

// The average of the colours added up in `sum`, rounded to the nearest level
// (halves up), as 0xRRGGBB; black for no pixels.
std::uint32_t averageColour(const ColourSum& sum);

// The one downscaler, for --preview and --browse alike: a row of blocks
// `scale` image columns wide (and as many rows high), summed as the image's
// pixels come, then averaged. Adds `count` pixels of an image row, from
// column `firstColumn` on, into the sums of the blocks they fall in.
void addToBlocks(std::vector<ColourSum>& sums, const PixelDecoder& decoder, const unsigned char* pixels,
                 std::uint64_t firstColumn, std::uint64_t count, std::uint64_t scale);

// Each block's average colour (`empty` where no pixel fell in it), and the
// sums emptied for the next row of blocks.
void takeBlockColours(std::vector<ColourSum>& sums, std::vector<std::uint32_t>& colours, std::uint32_t empty);

// A picture made as the image's rows arrive, top row first, so that the
// image need never be in memory whole.
struct PictureBuilder {
  const PixelDecoder* decoder;
  std::uint32_t width;
  std::uint32_t height;
  std::uint64_t scale;
  std::uint64_t lines;
  std::uint64_t line;  // the text line the rows now arriving belong to
  std::vector<ColourSum> upper;
  std::vector<ColourSum> lower;
  std::vector<std::uint32_t> upperColours;  // the line's averages
  std::vector<std::uint32_t> lowerColours;
  std::string text;
  bool inPixels;       // the picture is made as an image for sixel or kitty, not as text
  RgbImage image;
};

// A picture as text, or, `inPixels`, as an image of at most bounds.columns x
// (2 x bounds.lines) pixels for a terminal that draws pixels.
PictureBuilder startPicture(const PixelDecoder& decoder, std::uint32_t width, std::uint32_t height,
                            PictureBounds bounds, bool inPixels = false);

// Adds pixels of `rowCount` rows from `firstRow` on, each `columnCount` wide
// from `firstColumn` on (ROM pixels, rows `columnCount` pixels apart).
// Rows must come in order; a row may come in runs, left to right.
void addPictureRows(PictureBuilder& picture, const unsigned char* pixels, std::uint32_t firstRow,
                    std::uint32_t rowCount, std::uint32_t firstColumn, std::uint32_t columnCount);

// The text, once every row was added.
std::string finishPicture(PictureBuilder& picture);

// The image, once every row was added, for a picture started `inPixels`.
RgbImage finishPictureImage(PictureBuilder& picture);

// The picture of `width` x `height` pixels from `pixels` (ROM pixels, rows
// `sourceStride` bytes apart, top row first), shrunk by pictureScale: each of
// its pixels is the average of the k x k block it covers, the blocks at the
// right and bottom edges averaging what they hold. Every line starts with a
// line break, as the transcript's messages do; an empty image gives "".
// One pass over the pixels.
std::string pictureText(const unsigned char* pixels, std::size_t sourceStride, std::uint32_t width,
                        std::uint32_t height, PictureBounds bounds, const PixelDecoder& decoder = defaultDecoder());

}  // namespace velloran
