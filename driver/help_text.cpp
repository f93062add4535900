// What --help and --version print.
#include "driver/command_line.h"
#include "driver/questions.h"
#include "driver/version.h"

namespace velloran {

namespace {

// docs/velloran.1 is made from this text by help2man (docs/make_man_page.sh);
// a test checks that the two agree.
constexpr const char* kHelp =
    "Usage: velloran [OPTION]... [ROM [PREFIX [WIDTH [HEIGHT [COUNT [START]]]]]]\n"
    "  or:  velloran --browse ROM [PREFIX [WIDTH [HEIGHT [COUNT [START]]]]]\n"
    "  or:  velloran --scan ROM\n"
    "Pull raw images out of a ROM dump and save each one as a numbered BMP\n"
    "file, never overwriting a file that is already there. Pixels are 16-bit\n"
    "bgr555le words unless --format names another layout.\n"
    "\n"
    "Each argument answers one of six questions, in this order; the questions\n"
    "that no argument answers are asked on standard input.\n";

// After the answers' lines, which the answers' table gives.
constexpr const char* kHelpAfterAnswers =
    "\n"
    "Numbers are decimal (525), hexadecimal after 0x (0x20D) or octal after a\n"
    "leading 0 (01015). Typed into the dialogue, a path that holds blanks goes\n"
    "in double or single quotes.\n"
    "\n"
    "Options:\n"
    "      --format=FORMAT\n"
    "                 the pixels' layout: a name (bgr555le, the default;\n"
    "                 rgb565le, rgba5551be, rgb24, rgba, ...: --list-formats\n"
    "                 shows them all) or a description: the word, then each\n"
    "                 field's bits, bit 0 the lowest, as le16:r11-15,g5-10,b0-4\n"
    "                 (words le16, be16, le24, be24, le32, be32; fields r, g, b,\n"
    "                 a and x, unused; a colour or alpha has 1 to 8 bits). The\n"
    "                 BMP keeps every bit: 16-bit for 5-5-5 and 5-6-5 layouts,\n"
    "                 24-bit, or 32-bit with alpha, each field widened to 8\n"
    "                 bits by repeating its bits. Indexed formats: i1 i2 i4\n"
    "                 i8 (linear, the leftmost pixel in a byte's high bits),\n"
    "                 i1r i2r i4r (in its low bits), and 8x8 tiles t1 t2p\n"
    "                 t2s t4p t4b t4s t8p (bit planes) and t4 t4r t8 (linear\n"
    "                 rows); WIDTH and HEIGHT of tiles are multiples of 8.\n"
    "                 They are written as paletted BMP with their indices\n"
    "      --palette=SOURCE\n"
    "                 the colours of an indexed format (a grey ramp unless\n"
    "                 given): a ROM offset (a number), or a file: a JASC,\n"
    "                 GIMP or RIFF palette, or raw colours (FILE@OFFSET to\n"
    "                 start at an offset); a file named as a number is ./512\n"
    "      --palette-format=FORMAT\n"
    "                 the layout of raw palette colours: bgr555le unless given\n"
    "      --palette-bank=N\n"
    "                 the N-th group of 2^bits colours of the palette, from 0\n"
    "      --png      write PNG snapshots (PREFIX + snapNNNN.png, numbered on\n"
    "                 their own) instead of BMP: 8-bit RGB or RGBA with the\n"
    "                 format's own bits in sBIT (indexed: the indices and the\n"
    "                 palette), and where the image came from (Source,\n"
    "                 Offset, Width, Height, Format, Palette, Software) in\n"
    "                 text chunks; WIDTH and HEIGHT start at 1\n"
    "      --compression=TYPE\n"
    "                 the images are in a compressed stream whose header is at\n"
    "                 START: lz77, lz11, rle, huffman, or auto (the header\n"
    "                 says); it is decoded (at most 16 MiB) and COUNT images\n"
    "                 are read from its bytes as from a ROM holding just them\n"
    "      --decoded-offset=N\n"
    "                 the first image starts N bytes into the decoded stream\n"
    "      --map=SOURCE\n"
    "                 draw pictures from tilemaps: with a tiled --format, each\n"
    "                 of COUNT pictures of WIDTH x HEIGHT (multiples of 8) is\n"
    "                 WIDTH/8 x HEIGHT/8 entries of a map, the maps one after\n"
    "                 another from SOURCE (a ROM offset, FILE or FILE@OFFSET),\n"
    "                 their tiles numbered from START; a tile's colours go to\n"
    "                 its entry's palette bank (8-bit pictures where banks are)\n"
    "      --map-format=LAYOUT\n"
    "                 the entries' layout: map16 (the default,\n"
    "                 le16:p12-15,v11,h10,t0-9), map16s, map16be, map8, or a\n"
    "                 word (u8, le16, be16) and its fields: t tile, h and v\n"
    "                 flips, p palette bank, o ignored\n"
    "      --map-compression=TYPE\n"
    "                 the maps are a compressed stream at SOURCE\n"
    "      --map-order=ORDER\n"
    "                 rows (the default) or blocks: maps wider than 32 entries\n"
    "                 stored as 32x32 blocks, one after the other\n"
    "      --scan     list the compressed streams of ROM, one line each: the\n"
    "                 offset, the type, the decoded size, the stream's length,\n"
    "                 the pointers to it, and the command that shows it. A\n"
    "                 stream counts when it is on a 4-byte boundary, decodes\n"
    "                 to exactly its size with no unused bit set, holds at\n"
    "                 least --min-size bytes (32; 0 turns it off) and the ROM\n"
    "                 holds a pointer to it (--pointer-base; none turns it off)\n"
    "      --pointer-base=ADDRESS\n"
    "                 where the ROM's byte 0 is mapped, for the pointers --scan\n"
    "                 looks for: 0x08000000 unless given, or none\n"
    "      --min-size=N\n"
    "                 the smallest decoded size --scan lists, in bytes\n"
    "      --list-formats\n"
    "                 list the formats by name, bits per pixel and layout\n"
    "      --list-keys\n"
    "                 list the keys of --browse\n"
    "      --browse   a full-screen view of the ROM in the terminal: move through\n"
    "                 it, change the size and the zoom with the keys, save what\n"
    "                 is shown; nothing is asked (PREFIX ./, WIDTH 64, HEIGHT\n"
    "                 64, COUNT 1, START 0 unless given), ? shows the keys\n"
    "      --graphics=MODE\n"
    "                 how --preview and --browse draw: auto (the default: what\n"
    "                 the terminal answers it can draw), blocks (half blocks in\n"
    "                 24-bit colour), sixel or kitty (real pixels)\n"
    "      --preview[=COLUMNS]\n"
    "                 after each snapshot is written, draw it in the terminal in\n"
    "                 24-bit colour, at most COLUMNS characters wide (1 to 1000;\n"
    "                 by default the terminal's width, or 80 off a terminal)\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "      --         end of the options: a ROM named -x.rom can follow\n"
    "\n"
    "Exit status:\n"
    "  0  every snapshot was written (--scan: a stream was found)\n"
    "  1  the run failed: the ROM did not open, a snapshot could not be written,\n"
    "     the input ended early, or standard output could not be written\n"
    "     (--scan: no stream was found)\n"
    "  2  the command line cannot be used, or the stream is not one\n"
    "  A run stopped by a signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT and every\n"
    "  other that ends a program) leaves no incomplete snapshot, then ends by\n"
    "  that signal.\n"
    "\n"
    "Example:\n"
    "  velloran examples/demo.rom out/ 64 32 4 0x20D\n";

}  // namespace

std::string helpText() {
  std::string text = kHelp;
  for (std::size_t index = 0; index < kAnswerCount; ++index) text += answerUsageLine(index);
  return text + kHelpAfterAnswers;
}

// As GNU tools say it; the man page takes its copyright section from here.
std::string versionText() {
  return std::string("velloran ") + VELLORAN_VERSION +
         "\n"
         "Copyright (C) 2026 The Velloran developers\n"
         "License MIT: <https://opensource.org/licenses/MIT>\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.\n";
}

}  // namespace velloran
