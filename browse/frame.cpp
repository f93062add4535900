#include "browse/frame.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "console/console_picture.h"

namespace velloran {

namespace {

constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

// The part of one image that is on screen, and where.
struct Placement {
  std::uint64_t start;  // the image's first byte in the ROM
  int left;             // its top-left cell
  int top;
  int columns;          // its pixels across that are on screen, zoomed
  int pixelRows;        // its pixel rows that are on screen, zoomed
};

// Reads image rows, several at a time where they are short, as the decoder
// takes them (indexed formats unpacked, tiles a row of tiles at a time), and
// says which of their pixels the ROM holds (a pixel whose first byte it
// holds counts, its missing bytes read as zero, as a dump reads them).
struct RowReader {
  const ByteSource& source;
  std::uint64_t romLength;
  std::uint64_t start;
  const PixelFormat& format;
  std::uint64_t width;            // the image's
  std::uint64_t panX;             // the first column shown, and the first row
  std::uint64_t panY;
  std::uint64_t fromColumn;       // where reading a row starts: panX, on a byte for indexed pixels (tiles: 0)
  std::uint64_t readColumns;      // how many are read from there
  std::uint64_t lastRow;          // none at or past it (counted from panY) is asked for
  std::vector<unsigned char> raw;
  std::vector<unsigned char> pixels;  // indexed formats: the rows unpacked
  std::uint64_t firstRow = 0;     // of the image's rows in the buffer
  std::uint64_t rowCount = 0;
};

// A reader of `span` pixels of each row from the view's pan on.
RowReader rowReader(const ByteSource& source, const View& view, std::uint64_t start, const PixelFormat& format,
                    std::uint64_t span, std::uint64_t lastRow) {
  const std::uint64_t width = static_cast<std::uint32_t>(view.width);
  const bool tiled = isTiled(format);
  const std::uint64_t panX = view.panX;
  // Linear indices are read from a whole byte's first pixel.
  const std::uint64_t from = tiled ? 0 : isIndexed(format) ? panX - panX % 8 : panX;
  const std::uint64_t columns = tiled ? width : std::min(width - from, panX + span - from);
  return RowReader{source, view.romLength, start, format, width, panX, view.panY, from, columns, lastRow, {}, {}, 0, 0};
}

// The ROM bytes of one image row, or of one row of tiles.
std::uint64_t stripBytes(const RowReader& reader) {
  return romBytesOf(reader.format, reader.width, stripRows(reader.format));
}

// The pixels of row `shown` (counted from the pan) from panX on, as the
// decoder takes them.
const unsigned char* rowAt(RowReader& reader, std::uint64_t shown) {
  const std::uint64_t row = shown + reader.panY;
  const std::uint64_t strip = stripRows(reader.format);
  const std::uint64_t readBytes = romBytesOf(reader.format, reader.readColumns, 1);
  const std::uint64_t rowPixelBytes = isIndexed(reader.format) ? reader.readColumns : readBytes;
  if (row < reader.firstRow || row >= reader.firstRow + reader.rowCount) {
    const std::uint64_t first = row - row % strip;
    const std::uint64_t rowBytes = stripBytes(reader) / strip;
    const bool wholeRows = reader.readColumns == reader.width;
    const std::uint64_t lastRow = (reader.panY + reader.lastRow + strip - 1) / strip * strip;
    std::uint64_t rows = wholeRows ? std::max<std::uint64_t>(1, kPieceBytes / std::max<std::uint64_t>(1, rowBytes)) : 1;
    rows = std::max(strip, std::min(rows - rows % strip, lastRow - first));
    const auto bytes = static_cast<std::size_t>(wholeRows ? romBytesOf(reader.format, reader.width, rows) : readBytes);
    reader.raw.resize(bytes);
    const std::uint64_t at = first / strip * stripBytes(reader) + romBytesOf(reader.format, reader.fromColumn, 1);
    if (isIndexed(reader.format)) reader.pixels.resize(static_cast<std::size_t>(rows * reader.readColumns));
    readImageRows(reader.source, reader.format, reader.start + at, static_cast<std::uint32_t>(reader.readColumns),
                  static_cast<std::uint32_t>(rows), reader.raw.data(),
                  isIndexed(reader.format) ? reader.pixels.data() : nullptr);
    reader.firstRow = first;
    reader.rowCount = rows;
  }
  const unsigned char* rows = isIndexed(reader.format) ? reader.pixels.data() : reader.raw.data();
  const std::uint64_t pixelBytes = isIndexed(reader.format) ? 1 : reader.format.wordBytes;
  return rows + (row - reader.firstRow) * rowPixelBytes + (reader.panX - reader.fromColumn) * pixelBytes;
}

// How many of a shown row's first pixels (from panX on) the ROM holds: those
// whose first byte it holds, in tiles those of the tiles it holds a byte of.
std::uint64_t pixelsHeld(const RowReader& reader, std::uint64_t shown, std::uint64_t pixels) {
  const std::uint64_t row = shown + reader.panY;
  const std::uint64_t strip = stripRows(reader.format);
  const std::uint64_t rowStart = reader.start + row / strip * stripBytes(reader);
  if (rowStart >= reader.romLength) return 0;
  const std::uint64_t left = reader.romLength - rowStart;
  std::uint64_t held = 0;
  if (isTiled(reader.format)) {
    const std::uint64_t bytes = tileBytes(reader.format);
    held = (left + bytes - 1) / bytes * kTileSide;
  } else {
    const std::uint64_t bits = romBitsPerPixel(reader.format);
    held = (left * 8 + bits - 1) / bits;
  }
  return held > reader.panX ? std::min(pixels, held - reader.panX) : 0;
}

// Where the pixel rows go: into cells two by two (the upper one waits for
// the lower), or, for sixel and kitty, into an image.
struct Painter {
  Screen& screen;
  const Placement& place;
  std::vector<std::uint32_t> upper;
  bool hasUpper = false;
  int cellRow = 0;
  RgbImage* image = nullptr;
};

void paintRow(Painter& painter, const std::vector<std::uint32_t>& colours) {
  if (painter.image != nullptr) {
    painter.image->pixels.insert(painter.image->pixels.end(), colours.begin(), colours.end());
    painter.image->height += 1;
    return;
  }
  if (!painter.hasUpper) {
    painter.upper = colours;
    painter.hasUpper = true;
    return;
  }
  for (int column = 0; column < painter.place.columns; ++column) {
    putPixels(painter.screen, painter.place.left + column, painter.place.top + painter.cellRow,
              painter.upper[static_cast<std::size_t>(column)], colours[static_cast<std::size_t>(column)]);
  }
  ++painter.cellRow;
  painter.hasUpper = false;
}

void finishPainting(Painter& painter) {
  if (painter.hasUpper) paintRow(painter, std::vector<std::uint32_t>(painter.upper.size(), kNoColour));
}

// Zoomed in by k: each image pixel is k x k cell pixels. An image for sixel
// or kitty keeps one pixel each; the terminal's protocol repeats them.
void drawZoomedIn(Painter& painter, const View& view, const PixelDecoder& decoder, const Placement& place,
                  const ByteSource& source) {
  const auto k = static_cast<std::uint64_t>(view.zoom);
  const std::uint64_t width = static_cast<std::uint32_t>(view.width);
  const std::uint64_t sourceColumns = std::min<std::uint64_t>(width - view.panX, (place.columns + k - 1) / k);
  const std::uint64_t sourceRows =
      std::min<std::uint64_t>(static_cast<std::uint32_t>(view.height) - view.panY, (place.pixelRows + k - 1) / k);
  const std::uint64_t repeat = painter.image != nullptr ? 1 : k;
  // At most a screen's width of pixels from each row.
  RowReader reader = rowReader(source, view, place.start, decoder.format, sourceColumns, sourceRows);
  std::vector<std::uint32_t> colours(static_cast<std::size_t>(painter.image != nullptr ? sourceColumns : place.columns));
  std::vector<std::uint32_t> decoded(static_cast<std::size_t>(sourceColumns));
  const int pixelRows = painter.image != nullptr ? static_cast<int>(sourceRows) : place.pixelRows;
  int pixelRow = 0;
  for (std::uint64_t row = 0; row < sourceRows && pixelRow < pixelRows; ++row) {
    const unsigned char* bytes = rowAt(reader, row);
    const std::uint64_t held = pixelsHeld(reader, row, sourceColumns);
    decodeColours(decoder, bytes, static_cast<std::size_t>(held), decoded.data());
    for (std::size_t column = 0; column < colours.size(); ++column) {
      const std::uint64_t x = column / repeat;
      colours[column] = x < held ? decoded[static_cast<std::size_t>(x)] : kNoColour;
    }
    for (std::uint64_t copy = 0; copy < repeat && pixelRow < pixelRows; ++copy, ++pixelRow) {
      paintRow(painter, colours);
    }
  }
  finishPainting(painter);
}

// Zoomed out by k: each cell pixel is the average of a k x k block, of the
// pixels the ROM holds; none held shows the background.
void drawZoomedOut(Painter& painter, const View& view, const PixelDecoder& decoder, const Placement& place,
                   const ByteSource& source) {
  const auto k = static_cast<std::uint64_t>(-view.zoom);
  const std::uint64_t width = static_cast<std::uint32_t>(view.width);
  const std::uint64_t pixelBytes = decoder.pixelBytes;
  const std::uint64_t sourceColumns = std::min<std::uint64_t>(width - view.panX, place.columns * k);
  const std::uint64_t sourceRows =
      std::min<std::uint64_t>(static_cast<std::uint32_t>(view.height) - view.panY, place.pixelRows * k);
  // Short rows are read several at a time; a row longer than a piece, piece
  // by piece (never one of tiles: a row of tiles fits a piece).
  const bool wholeRows = sourceColumns * pixelBytes <= kPieceBytes || isTiled(decoder.format);
  const std::uint64_t piecePixels = kPieceBytes / pixelBytes;
  RowReader reader = rowReader(source, view, place.start, decoder.format, sourceColumns, sourceRows);
  std::vector<unsigned char> piece(wholeRows ? 0 : kPieceBytes + 8);
  std::vector<unsigned char> pieceRaw(wholeRows || !isIndexed(decoder.format) ? 0 : kPieceBytes + 8);
  std::vector<ColourSum> sums(static_cast<std::size_t>(place.columns), ColourSum{0, 0, 0, 0});
  std::vector<std::uint32_t> colours(static_cast<std::size_t>(place.columns));
  for (std::uint64_t row = 0; row < sourceRows; ++row) {
    const std::uint64_t held = pixelsHeld(reader, row, sourceColumns);
    if (wholeRows) {
      addToBlocks(sums, decoder, rowAt(reader, row), 0, held, k);
    } else {
      for (std::uint64_t first = 0; first < held; first += piecePixels) {
        const std::uint64_t count = std::min(piecePixels, held - first);
        // Indexed pieces are read from a byte: up to 7 pixels before the one wanted.
        const std::uint64_t column = view.panX + first;
        const std::uint64_t skip = isIndexed(decoder.format) ? column % 8 : 0;
        const std::uint64_t at = place.start + romBytesOf(decoder.format, width, view.panY + row) +
                                 romBytesOf(decoder.format, column - skip, 1);
        const bool indexed = isIndexed(decoder.format);
        readImageRows(source, decoder.format, at, static_cast<std::uint32_t>(skip + count), 1,
                      indexed ? pieceRaw.data() : piece.data(), indexed ? piece.data() : nullptr);
        addToBlocks(sums, decoder, piece.data() + skip, first, count, k);
      }
    }
    if ((row + 1) % k == 0 || row + 1 == sourceRows) {
      takeBlockColours(sums, colours, kNoColour);
      paintRow(painter, colours);
    }
  }
  finishPainting(painter);
}

// The help in a box as wide as its longest line and a margin; where the
// screen is too short for it, the lines that fit and how to see the rest.
void drawHelp(Screen& screen) {
  const std::vector<std::string> lines = helpLines();
  const int lineCount = static_cast<int>(lines.size());
  std::size_t longest = 0;
  for (const std::string& line : lines) longest = std::max(longest, line.size());
  const int width = static_cast<int>(longest) + 4;
  const int room = std::max(1, screen.rows - 1 - 2);  // above the status line, inside the box's edges
  const bool cut = lineCount > room;
  const int shown = cut ? std::max(0, room - 1) : lineCount;
  const int left = std::max(0, (screen.columns - width) / 2);
  const int top = std::max(0, (screen.rows - 1 - shown - (cut ? 1 : 0) - 2) / 2);
  const auto boxed = [width](const std::string& text) {
    std::string line = "  " + text;
    line.resize(static_cast<std::size_t>(width), ' ');
    return line;
  };
  putText(screen, left, top, boxed(""), true);
  for (int line = 0; line < shown; ++line) {
    putText(screen, left, top + 1 + line, boxed(lines[static_cast<std::size_t>(line)]), true);
  }
  int next = top + 1 + shown;
  if (cut) {
    putText(screen, left, next++,
            boxed("... " + std::to_string(lineCount - shown) + " more lines in a taller terminal"), true);
  }
  putText(screen, left, next, boxed(""), true);
}

// The palette's colours in a strip above the status line, index 0 on the
// left, each as wide as the screen allows (several to a cell where there are
// more colours than cells).
void drawPalette(Screen& screen, const View& view, const PixelDecoder& decoder) {
  const int row = view.rows - 2;
  if (row < 0) return;
  for (int column = 0; column < std::max(1, view.columns); ++column) {
    const std::uint32_t colour = decoder.colourOfWord[paletteIndexAt(view, column)];
    putPixels(screen, column, row, colour, colour);
  }
}

}  // namespace

Frame drawView(const View& view, const PixelDecoder& decoder, const ByteSource& source, const std::string& romName) {
  Frame frame{blankScreen(view.columns, view.rows), {}};
  const Layout layout = layoutOf(view);
  const int area = std::max(0, view.rows - statusRows(view));
  const std::uint64_t bytes = imageBytes(view);
  const bool inPixels = canvasOf(view.graphics).inPixels;
  // Over images that the terminal draws in pixels no text would show.
  for (int down = 0; down < layout.down && !(inPixels && view.help); ++down) {
    for (int across = 0; across < layout.across; ++across) {
      const std::uint64_t index = static_cast<std::uint64_t>(down) * static_cast<std::uint64_t>(layout.across) +
                                  static_cast<std::uint64_t>(across);
      Placement place{view.offset + index * bytes, across * (layout.imageColumns + 1), down * (layout.imageRows + 1),
                      0, 0};
      place.columns = std::min(layout.imagePixelColumns, (view.columns - place.left) * view.cellWidth);
      place.pixelRows = std::min(layout.imagePixelRows, (area - place.top) * view.cellHeight);
      if (place.columns <= 0 || place.pixelRows <= 0 || place.start >= view.romLength) continue;
      Painter painter{frame.screen, place, {}, false, 0, nullptr};
      if (inPixels) {
        frame.images.push_back(ShownImage{place.left, place.top, RgbImage{0, 0, {}}, 1});
        painter.image = &frame.images.back().image;
      }
      if (view.zoom >= 1) {
        drawZoomedIn(painter, view, decoder, place, source);
      } else {
        drawZoomedOut(painter, view, decoder, place, source);
      }
      if (inPixels) {
        ShownImage& shown = frame.images.back();
        shown.image.width = shown.image.height > 0 ? static_cast<std::uint32_t>(shown.image.pixels.size() / shown.image.height) : 0;
        shown.zoom = view.zoom >= 1 ? static_cast<std::uint32_t>(view.zoom) : 1;
      }
    }
  }
  if (isIndexed(view.format) && !(inPixels && view.help)) drawPalette(frame.screen, view, decoder);
  // The keyboard cursor's cell, marked over the image.
  if (view.cursor && view.pointing && !inPixels) putText(frame.screen, view.pointColumn, view.pointRow, "+", true);
  if (view.help) drawHelp(frame.screen);
  // The status line, cut to the width: never wrapped.
  const std::string status = statusText(view, romName);
  putText(frame.screen, 0, view.rows - 1,
          status + std::string(static_cast<std::size_t>(std::max(0, view.columns)), ' '), true);
  return frame;
}

}  // namespace velloran
