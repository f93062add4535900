#include "console/graphics.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>

#include "console/median_cut.h"
#include "console/screen.h"

namespace velloran {

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// The most base64 one kitty chunk may carry; a multiple of 4.
constexpr std::size_t kKittyChunk = 4096;

std::uint32_t pixelAt(const RgbImage& image, std::uint32_t x, std::uint32_t y) {
  return image.pixels[std::size_t{y} * image.width + x];
}

// The zoomed image's raw RGB bytes, base64 as they are made.
std::string base64Of(const RgbImage& image, std::uint32_t zoom) {
  std::string raw;
  raw.reserve(std::size_t{image.width} * image.height * zoom * zoom * 3);
  for (std::uint32_t y = 0; y < image.height * zoom; ++y) {
    for (std::uint32_t x = 0; x < image.width * zoom; ++x) {
      std::uint32_t colour = pixelAt(image, x / zoom, y / zoom);
      if (colour == kNoColour) colour = 0;
      raw += static_cast<char>((colour >> 16) & 0xFFu);
      raw += static_cast<char>((colour >> 8) & 0xFFu);
      raw += static_cast<char>(colour & 0xFFu);
    }
  }
  std::string text;
  text.reserve((raw.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < raw.size(); at += 3) {
    const std::size_t left = raw.size() - at;
    const std::uint32_t group = (static_cast<unsigned char>(raw[at]) << 16) |
                                (left > 1 ? static_cast<unsigned char>(raw[at + 1]) << 8 : 0) |
                                (left > 2 ? static_cast<unsigned char>(raw[at + 2]) : 0);
    text += kBase64[(group >> 18) & 63];
    text += kBase64[(group >> 12) & 63];
    text += left > 1 ? kBase64[(group >> 6) & 63] : '=';
    text += left > 2 ? kBase64[group & 63] : '=';
  }
  return text;
}

// ---- Sixel colours ----------------------------------------------------------

struct SixelRegisters {
  std::vector<std::uint32_t> colours;                  // the registers, in order
  std::unordered_map<std::uint32_t, int> registerOf;   // every colour of the image
};

// The image's colours as they are, up to 256; past that, a palette chosen
// for the image (median_cut.h).
SixelRegisters registersOf(const RgbImage& image, SixelColours& summary) {
  std::unordered_map<std::uint32_t, std::uint64_t> counts;
  for (const std::uint32_t colour : image.pixels) {
    if (colour != kNoColour) ++counts[colour];
  }
  ChosenColours chosen = chooseColours(counts);
  summary = SixelColours{counts.size(), chosen.exact, chosen.largestError, chosen.meanError};
  return SixelRegisters{std::move(chosen.palette), std::move(chosen.indexOf)};
}


// A run of the same sixel `count` columns long.
void putRun(std::string& text, char sixel, std::size_t count) {
  if (count >= 4) {
    text += '!';
    putNumber(text, count);
    text += sixel;
  } else {
    text.append(count, sixel);
  }
}

}  // namespace

std::string kittyText(const RgbImage& image, std::uint32_t zoom, std::uint32_t id) {
  const std::string data = base64Of(image, zoom);
  std::string text;
  text.reserve(data.size() + data.size() / kKittyChunk * 16 + 64);
  for (std::size_t at = 0; at < data.size() || at == 0; at += kKittyChunk) {
    const bool last = at + kKittyChunk >= data.size();
    text += "\x1B_G";
    if (at == 0) {
      text += "f=24,s=" + std::to_string(image.width * zoom) + ",v=" + std::to_string(image.height * zoom) +
              ",a=T,q=2,";
      if (id != 0) text += "i=" + std::to_string(id) + ",";
    }
    text += last ? "m=0;" : "m=1;";
    text.append(data, at, std::min(kKittyChunk, data.size() - std::min(at, data.size())));
    text += "\x1B\\";
    if (data.empty()) break;
  }
  return text;
}

std::string kittyDelete(std::uint32_t id) {
  return "\x1B_Ga=d,d=I,q=2,i=" + std::to_string(id) + "\x1B\\";
}

std::string kittyDeleteAll() {
  return "\x1B_Ga=d,d=A,q=2\x1B\\";
}

namespace {

// One colour's sixels in the band under way, made as the columns pass.
struct ColourRow {
  std::string sixels;
  std::int64_t lastColumn;  // the last column it was in; -1 before
  char run;                 // the sixel repeated, and how often, not yet written
  std::size_t count;
};

void flushRun(ColourRow& row) {
  if (row.count > 0) putRun(row.sixels, row.run, row.count);
  row.count = 0;
}

void addSixel(ColourRow& row, char sixel) {
  if (sixel != row.run) flushRun(row);
  row.run = sixel;
  ++row.count;
}

}  // namespace

std::string sixelText(const RgbImage& image, std::uint32_t zoom, SixelColours* colours) {
  SixelColours summary{};
  const SixelRegisters palette = registersOf(image, summary);
  if (colours != nullptr) *colours = summary;
  const std::uint32_t width = image.width * zoom;
  const std::uint32_t height = image.height * zoom;
  std::string text = "\x1BP0;1;0q\"1;1;" + std::to_string(width) + ";" + std::to_string(height);
  for (std::size_t index = 0; index < palette.colours.size(); ++index) {
    const std::uint32_t colour = palette.colours[index];
    text += '#';
    putNumber(text, index);
    text += ";2";
    for (const int shift : {16, 8, 0}) {
      text += ';';
      putNumber(text, (((colour >> shift) & 0xFFu) * 100 + 127) / 255);  // percent, rounded
    }
  }
  // Each image pixel's register, found once however far it is zoomed; -1
  // where there is nothing to draw.
  std::vector<int> registerAt(image.pixels.size(), -1);
  for (std::size_t index = 0; index < image.pixels.size(); ++index) {
    if (image.pixels[index] != kNoColour) registerAt[index] = palette.registerOf.at(image.pixels[index]);
  }
  // One pass over each band's pixels, column by column: each colour in a
  // column adds its sixel to that colour's row, a gap since its last column
  // as empty sixels (?).
  std::vector<ColourRow> rows(palette.colours.size(), ColourRow{{}, -1, 0, 0});
  std::vector<int> inBand;  // the registers the band uses, as they come
  for (std::uint32_t top = 0; top < height; top += 6) {
    inBand.clear();
    for (std::uint32_t x = 0; x < width; ++x) {
      int registers[6];
      int bits[6];
      int found = 0;
      for (std::uint32_t row = 0; row < 6 && top + row < height; ++row) {
        const int index = registerAt[std::size_t{(top + row) / zoom} * image.width + x / zoom];
        if (index < 0) continue;
        int slot = 0;
        while (slot < found && registers[slot] != index) ++slot;
        if (slot == found) {
          registers[found] = index;
          bits[found++] = 0;
        }
        bits[slot] |= 1 << row;
      }
      for (int slot = 0; slot < found; ++slot) {
        ColourRow& colourRow = rows[static_cast<std::size_t>(registers[slot])];
        if (colourRow.lastColumn < 0) inBand.push_back(registers[slot]);  // its first column in this band
        const auto gap = static_cast<std::size_t>(static_cast<std::int64_t>(x) - colourRow.lastColumn - 1);
        if (gap > 0) {
          flushRun(colourRow);
          putRun(colourRow.sixels, '?', gap);
        }
        addSixel(colourRow, static_cast<char>(63 + bits[slot]));
        colourRow.lastColumn = x;
      }
    }
    for (std::size_t used = 0; used < inBand.size(); ++used) {
      ColourRow& colourRow = rows[static_cast<std::size_t>(inBand[used])];
      flushRun(colourRow);
      if (used > 0) text += '$';  // back to the band's start for the next colour
      text += '#';
      putNumber(text, static_cast<std::size_t>(inBand[used]));
      text += colourRow.sixels;
      colourRow.sixels.clear();
      colourRow.lastColumn = -1;
      colourRow.run = 0;
    }
    text += '-';
  }
  text += "\x1B\\";
  return text;
}

}  // namespace velloran
