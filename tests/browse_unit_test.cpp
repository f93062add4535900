#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "browse/frame.h"
#include "browse/view.h"
#include "console/keys.h"
#include "console/screen.h"
#include "console/terminal_graphics.h"
#include "platform/platform.h"
#include "tests/formats.h"

namespace velloran {
namespace {

std::vector<KeyPress> decode(const std::string& bytes, bool waitedLongEnough = true) {
  KeyDecoder decoder;
  feedKeyBytes(decoder, bytes.data(), bytes.size());
  std::vector<KeyPress> keys;
  KeyPress press{};
  while (nextKey(decoder, waitedLongEnough, press)) keys.push_back(press);
  return keys;
}

TEST(KeyDecoder, KnowsEveryFormOfTheKeysItUses) {
  const struct {
    const char* bytes;
    Key key;
  } cases[] = {
      {"\x1B[A", Key::up},       {"\x1BOA", Key::up},         {"\x1B[1;5A", Key::up},    {"\x1B[B", Key::down},
      {"\x1BOB", Key::down},     {"\x1B[C", Key::right},      {"\x1BOC", Key::right},    {"\x1B[1;2C", Key::right},
      {"\x1B[D", Key::left},     {"\x1BOD", Key::left},       {"\x1B[5~", Key::pageUp},  {"\x1B[5;5~", Key::pageUp},
      {"\x1B[6~", Key::pageDown}, {"\x1B[H", Key::home},      {"\x1BOH", Key::home},     {"\x1B[1~", Key::home},
      {"\x1B[7~", Key::home},    {"\x1B[F", Key::end},        {"\x1BOF", Key::end},      {"\x1B[4~", Key::end},
      {"\x1B[8~", Key::end},     {"\r", Key::enter},          {"\n", Key::enter},        {"\x1BOM", Key::enter},
      {"\x7F", Key::backspace},  {"\x08", Key::backspace},    {"\x0C", Key::redraw},     {"\x1B", Key::escape},
      {"\x1B[15~", Key::unknown}, {"\x1B[200~", Key::unknown}, {"\xC3\xA9", Key::unknown}, {"\x01", Key::unknown},
  };
  for (const auto& c : cases) {
    const std::vector<KeyPress> keys = decode(c.bytes);
    ASSERT_EQ(keys.size(), 1u) << c.bytes + 1;
    EXPECT_EQ(keys[0].key, c.key) << c.bytes + 1;
  }
}

TEST(KeyDecoder, TakesKeysInTurnAndCharactersAsThemselves) {
  const std::vector<KeyPress> keys = decode("l\x1B[Bq]\x1B\r" "G");
  ASSERT_EQ(keys.size(), 7u);
  EXPECT_EQ(keys[0].key, Key::character);
  EXPECT_EQ(keys[0].character, 'l');
  EXPECT_EQ(keys[1].key, Key::down);
  EXPECT_EQ(keys[2].character, 'q');
  EXPECT_EQ(keys[3].character, ']');
  // An Esc before a control byte is an Esc, then that key.
  EXPECT_EQ(keys[4].key, Key::escape);
  EXPECT_EQ(keys[5].key, Key::enter);
  EXPECT_EQ(keys[6].character, 'G');
}

// Nothing that is not a key the user meant may leave the view: Alt and a key
// sends ESC first, and a terminal's answers to our queries may come late,
// cut in pieces, or mixed with keys.
TEST(KeyDecoder, AltKeysAndTerminalAnswersAreNoKeys) {
  const struct {
    const char* bytes;
    const char* shown;  // the keys that come out: characters as themselves, . for unknown
  } cases[] = {
      {"\x1B" "b", "."},                                 // Alt+B
      {"\x1B" "x" "q", ".q"},                            // Alt+x, then q
      {"\x1B\xC3\xA9" "q", ".q"},                        // Alt+e-acute
      {"\x1B_Gi=31;OK\x1B\\" "q", ".q"},                 // kitty's answer, late
      {"\x1B[?62;4c" "q", ".q"},                          // device attributes
      {"\x1B[6;20;10t" "q", ".q"},                        // the cell size
      {"\x1B]11;rgb:0000/0000/0000\x07" "q", ".q"},       // an OSC answer ended by BEL
      {"\x1BP1$r0m\x1B\\" "q", ".q"},                     // a DCS answer
      {"\x1B_Gi=31;OK" "\x1B[A", ".^"},                   // cut off by an arrow: the arrow stays a key
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const KeyPress& press : decode(c.bytes)) {
      shown += press.key == Key::character ? press.character : press.key == Key::up ? '^' : press.key == Key::unknown ? '.' : '!';
    }
    EXPECT_EQ(shown, c.shown) << c.bytes + 1;
  }
}

// A paste is text, never keys: q and s in it neither leave nor save; typed
// into a prompt it is taken as typed.
TEST(KeyDecoder, ABracketedPasteIsTextNotKeys) {
  const std::vector<KeyPress> keys = decode("\x1B[200~q s\x1B[A\x1B[201~q");
  std::string shown;
  for (const KeyPress& press : keys) {
    shown += press.key == Key::pasted ? press.character : press.key == Key::character ? '!' : '.';
  }
  EXPECT_EQ(shown, ".q s.[A.!");  // the arrow's ESC dropped, its printable bytes pasted
  View view = startView(16909, 100, 64, 32, 1, 100, 40);
  for (const KeyPress& press : decode("\x1B[200~qsSG\x1B[201~")) EXPECT_EQ(applyKey(view, press), Action::none);
  EXPECT_EQ(view.offset, 100u);
  applyKey(view, KeyPress{Key::character, 'o'});
  for (const KeyPress& press : decode("\x1B[200~00810D14\x1B[201~")) applyKey(view, press);
  EXPECT_EQ(view.typed, "00810D14");
}

TEST(KeyDecoder, AnAnswerInPiecesIsWaitedForAndThenDropped) {
  KeyDecoder decoder;
  KeyPress press{};
  feedKeyBytes(decoder, "\x1B_Gi=3", 6);
  // Long enough for an Esc, not for an answer: a slow link sends the rest later.
  for (int wait = 0; wait < 5; ++wait) EXPECT_FALSE(nextKey(decoder, true, press));
  feedKeyBytes(decoder, "1;OK\x1B\\q", 7);
  ASSERT_TRUE(nextKey(decoder, false, press));
  EXPECT_EQ(press.key, Key::unknown);
  ASSERT_TRUE(nextKey(decoder, false, press));
  EXPECT_EQ(press.character, 'q');
  // An answer that never ends is dropped after a while, and keys go on.
  feedKeyBytes(decoder, "\x1BPjunk", 6);
  int waits = 0;
  while (!nextKey(decoder, true, press)) ++waits;
  EXPECT_EQ(press.key, Key::unknown);
  EXPECT_GE(waits, 5);
  EXPECT_TRUE(decoder.pending.empty());
}

TEST(KeyDecoder, AnEscapeWaitsForTheRestOfASequence) {
  KeyDecoder decoder;
  KeyPress press{};
  feedKeyBytes(decoder, "\x1B", 1);
  EXPECT_FALSE(nextKey(decoder, false, press));  // maybe the start of an arrow
  feedKeyBytes(decoder, "[", 1);
  EXPECT_FALSE(nextKey(decoder, false, press));
  feedKeyBytes(decoder, "D", 1);
  ASSERT_TRUE(nextKey(decoder, false, press));
  EXPECT_EQ(press.key, Key::left);
  feedKeyBytes(decoder, "\x1B", 1);
  ASSERT_TRUE(nextKey(decoder, true, press));  // nothing more came: Esc alone
  EXPECT_EQ(press.key, Key::escape);
  EXPECT_TRUE(decoder.pending.empty());
}

TEST(KeyDecoder, JunkNeverStallsIt) {
  std::string junk = "\x1B[";
  junk += std::string(100, '1');  // a sequence far too long to be a key, dropped through its final byte
  junk += "qj";
  const std::vector<KeyPress> keys = decode(junk);
  ASSERT_FALSE(keys.empty());
  EXPECT_EQ(keys.back().character, 'j');
  for (const KeyPress& press : keys) EXPECT_NE(press.character, 'q');
}

// Feeds `pieces` one after the other, `waits` quiet Esc waits after each
// (as the view's loop does), and returns the keys that came out: characters
// as themselves, pasted ones as themselves too, 'E' for Esc, 'M' for a mouse
// report, '.' for any other key.
std::string keysOf(const std::vector<std::string>& pieces, int waits) {
  KeyDecoder decoder;
  KeyPress press{};
  std::string shown;
  const auto drain = [&](bool waited) {
    while (nextKey(decoder, waited, press)) {
      shown += press.key == Key::character || press.key == Key::pasted ? press.character
               : press.key == Key::escape                              ? 'E'
               : press.key == Key::mouse                               ? 'M'
                                                                       : '.';
    }
  };
  for (const std::string& piece : pieces) {
    feedKeyBytes(decoder, piece.data(), piece.size());
    drain(false);
    for (int wait = 0; wait < waits; ++wait) drain(true);
  }
  return shown;
}

// Reports of the older mouse encoding (ESC[M and three bytes), which a
// terminal sends when it does not know SGR's: their bytes are the report's,
// never keys, however they arrive.
TEST(KeyDecoder, OlderMouseReportsAreReportsWhole) {
  KeyDecoder decoder;
  KeyPress press{};
  feedKeyBytes(decoder, "\x1B[MCs%", 6);  // motion, no button, column 83, row 5
  ASSERT_TRUE(nextKey(decoder, false, press));
  EXPECT_EQ(press.key, Key::mouse);
  EXPECT_EQ(press.mouse.action, MouseAction::motion);
  EXPECT_EQ(press.mouse.column, 82);
  EXPECT_EQ(press.mouse.row, 4);
  feedKeyBytes(decoder, "\x1B[M$q5", 6);  // a left press with Shift at column 81, row 21
  ASSERT_TRUE(nextKey(decoder, false, press));
  EXPECT_EQ(press.key, Key::mouse);
  EXPECT_EQ(press.mouse.action, MouseAction::press);
  EXPECT_EQ(press.mouse.button, 0);
  EXPECT_TRUE(press.shifted);
  EXPECT_EQ(press.mouse.column, 80);
  feedKeyBytes(decoder, "\x1B[Ma!!", 6);  // the wheel down
  ASSERT_TRUE(nextKey(decoder, false, press));
  EXPECT_EQ(press.mouse.action, MouseAction::wheelDown);
  feedKeyBytes(decoder, "\x1B[M#!!", 6);  // a release
  ASSERT_TRUE(nextKey(decoder, false, press));
  EXPECT_EQ(press.mouse.action, MouseAction::release);
  EXPECT_FALSE(nextKey(decoder, true, press));
  EXPECT_EQ(keysOf({"\x1B[M", "Cs", "%q"}, 1), "Mq");  // cut, each piece a wait apart
  EXPECT_EQ(keysOf({std::string("\x1B[M\x20\x20\x20q", 7)}, 1), ".q");  // column 0: out of range, no key
}

// Each kind of sequence cut at every length and left so for a quiet spell,
// then a q: no byte of it becomes a key, none counts as Esc, and the q comes
// through. A sequence whose rest comes within the spell is read whole.
TEST(KeyDecoder, ASequenceCutAnywhereIsWaitedForAndThenDroppedNeverAKey) {
  const struct {
    std::string bytes;
    char whole;  // what it is once whole
  } kinds[] = {
      {"\x1B[<35;10;10M", 'M'}, {"\x1B[<64;1;1M", 'M'}, {"\x1B[<0;1;1m", 'M'}, {"\x1B[MCs%", 'M'},
      {"\x1B[1;5A", '.'},       {"\x1B[15~", '.'},      {"\x1BOA", '.'},      {"\x1B_Gi=31;OK\x1B\\", '.'},
  };
  for (const auto& kind : kinds) {
    for (std::size_t cut = 2; cut < kind.bytes.size(); ++cut) {
      const std::string head = kind.bytes.substr(0, cut);
      const std::string tail = kind.bytes.substr(cut);
      EXPECT_EQ(keysOf({head, tail + "q"}, 3), std::string(1, kind.whole) + "q") << kind.bytes.substr(1) << " cut at " << cut;
      const std::string alone = keysOf({head, "q"}, 2 * kQuietWaits + 1);
      EXPECT_EQ(alone.back(), 'q') << kind.bytes.substr(1) << " cut at " << cut;
      EXPECT_EQ(alone.find_first_not_of('.'), alone.size() - 1) << kind.bytes.substr(1) << " cut at " << cut;
    }
  }
  EXPECT_EQ(keysOf({"\x1B", "q"}, 1), "Eq");  // an Esc alone stays one
}

// A sequence longer than any key is dropped through its final byte, however
// long and however it arrives: none of its bytes become keys.
TEST(KeyDecoder, AnOverLongSequenceIsDroppedThroughItsFinalByte) {
  const std::string digits30(30, '7');
  EXPECT_EQ(keysOf({"\x1B[<0;1;" + digits30 + "qj"}, 0), ".j");
  std::vector<std::string> pieces = {"\x1B[<0;1;"};
  for (int piece = 0; piece < 50; ++piece) pieces.push_back(std::string(100, '5'));  // a 5,000-digit row
  pieces.push_back("Mj");
  EXPECT_EQ(keysOf(pieces, 1), ".j");
  View view = startView(16909, 100, 64, 32, 1, 100, 40);
  applyKey(view, KeyPress{Key::character, 'o'});
  KeyDecoder decoder;
  KeyPress press{};
  for (const std::string& piece : pieces) {
    feedKeyBytes(decoder, piece.data(), piece.size());
    while (nextKey(decoder, false, press)) applyKey(view, press);
  }
  EXPECT_EQ(view.typing, Typing::offset);
  EXPECT_EQ(view.typed, "j");  // the report typed nothing into the prompt
  // One that never ends ends after a quiet spell, and keys count again.
  EXPECT_EQ(keysOf({"\x1B[" + std::string(40, '1'), "q"}, kQuietWaits), ".q");
}

// A paste whose end never comes is text for a quiet spell, then keys count again.
TEST(KeyDecoder, APasteWithNoEndEndsAfterAQuietSpell) {
  EXPECT_EQ(keysOf({"\x1B[200~abc", "q"}, kQuietWaits), ".abcq");
  EXPECT_EQ(keysOf({"\x1B[200~abc", "q", "\x1B[201~", "q"}, 2), ".abcq.q");
  KeyDecoder decoder;
  feedKeyBytes(decoder, "\x1B[200~a", 7);
  KeyPress press{};
  while (nextKey(decoder, false, press)) {
  }
  EXPECT_TRUE(keysUnfinished(decoder));  // the loop waits a while for the rest
  for (int wait = 0; wait < kQuietWaits; ++wait) nextKey(decoder, true, press);
  EXPECT_FALSE(keysUnfinished(decoder));
}

View viewOf(std::uint64_t romLength, std::uint64_t offset, std::int32_t width = 64, std::int32_t height = 32) {
  return startView(romLength, offset, width, height, 1, 100, 40);
}

KeyPress character(char c) {
  return KeyPress{Key::character, c};
}

TEST(View, EachKeyMovesTheOffsetAsItSays) {
  const struct {
    KeyPress press;
    std::uint64_t from;
    std::uint64_t to;
  } cases[] = {
      {{Key::right, 0}, 525, 527},        {character('l'), 525, 527},        {{Key::left, 0}, 525, 523},
      {character('h'), 525, 523},         {{Key::down, 0}, 525, 653},        {character('j'), 525, 653},
      {{Key::up, 0}, 653, 525},           {character('k'), 653, 525},        {character(']'), 525, 4621},
      {character('['), 4621, 525},        {character('.'), 525, 526},        {character(','), 525, 524},
      {{Key::home, 0}, 525, 1},           {character('g'), 524, 0},          {{Key::end, 0}, 525, 12813},
      {character('G'), 524, 12812},       {character('G'), 525, 12813},       {{Key::left, 0}, 1, 1},            {{Key::left, 0}, 0, 0},
      {character(','), 0, 0},             {{Key::right, 0}, 16907, 16907},   {{Key::right, 0}, 16906, 16908},
      {character('['), 2000, 0},          {character('['), 2001, 1},         {character(']'), 16000, 16908},
  };
  for (const auto& c : cases) {
    View view = viewOf(16909, c.from);
    EXPECT_EQ(applyKey(view, c.press), Action::none);
    EXPECT_EQ(view.offset, c.to) << "key " << static_cast<int>(c.press.key) << " '" << c.press.character << "' from "
                                 << c.from;
  }
}

TEST(View, AScreenIsTheImagesShown) {
  for (const char* name : {"i1", "t1", "bgr555le"}) {  // 8x16 glyphs: many to a screen, not three
    const PixelFormat format = formatNamed(name);
    for (const GraphicsMode mode : {GraphicsMode::blocks, GraphicsMode::kitty}) {
      const View glyphs = startView(1 << 20, 0, 8, 16, 1, 100, 40, mode, 10, 20, format);
      EXPECT_EQ(glyphs.zoom, 2) << name;
      EXPECT_GT(layoutOf(glyphs).across * layoutOf(glyphs).down, 20) << name;
    }
  }
  View view = viewOf(1 << 20, 0, 8, 8);  // 100 x 40: at most 100 x 78 pixels
  EXPECT_EQ(view.zoom, 2);                // 9:1 would fit, but the view picks at most 2:1
  view.zoom = 4;                          // 32 x 16 cells an image
  const Layout layout = layoutOf(view);
  EXPECT_EQ(layout.across, 3);  // 3 x 32 + 2 blanks = 98 columns
  EXPECT_EQ(layout.down, 2);    // 2 x 16 + 1 blank = 33 of 39 rows
  applyKey(view, KeyPress{Key::pageDown, 0});
  EXPECT_EQ(view.offset, 6u * 128);
  applyKey(view, character('b'));
  EXPECT_EQ(view.offset, 0u);
}

TEST(View, SizeAndZoomKeys) {
  View view = viewOf(1 << 20, 0);
  EXPECT_EQ(view.zoom, 1);  // 64 x 32 fits 100 x 78 pixels once, not twice
  applyKey(view, character('>'));
  EXPECT_EQ(view.width, 65);
  applyKey(view, character('<'));
  applyKey(view, character('<'));
  EXPECT_EQ(view.width, 63);
  applyKey(view, character('}'));
  EXPECT_EQ(view.height, 33);
  applyKey(view, character('{'));
  EXPECT_EQ(view.height, 32);
  applyKey(view, character('-'));
  EXPECT_EQ(view.zoom, -2);
  applyKey(view, character('-'));
  EXPECT_EQ(view.zoom, -3);
  applyKey(view, character('+'));
  applyKey(view, character('='));
  EXPECT_EQ(view.zoom, 1);
  applyKey(view, character('+'));
  EXPECT_EQ(view.zoom, 2);
  applyKey(view, character('z'));
  EXPECT_EQ(view.zoom, 1);
  View narrow = viewOf(100, 0, 1, 1);
  applyKey(narrow, character('<'));
  EXPECT_EQ(narrow.width, 1);
  EXPECT_FALSE(narrow.message.empty());
}

TEST(View, TypedNumbersInTheDialoguesFormsAndWhatCannotBeUsed) {
  const struct {
    char command;
    const char* typed;
    std::uint64_t offset;
    std::int32_t width;
    bool explained;
  } cases[] = {
      {'o', "0x20D", 525, 64, false},   {'o', "020D", 525, 64, false},    {'o', "525", 525, 64, false},
      {'o', "$20D", 525, 64, false},    {'o', "20Dh", 525, 64, false},    {'o', "00001000", 4096, 64, false},
      {'o', "1000", 1000, 64, false},   {'o', "+0x10", 116, 64, false},   {'o', "-$10", 84, 64, false},
      {'o', "0x", 100, 64, true},       {'o', "$", 100, 64, true},        {'o', "12G", 100, 64, true},
      {'o', "0810D14", 100, 64, true},  {'W', "010", 100, 16, false},     {'W', "-0", 100, 64, true},
      {'o', "+10", 110, 64, false},     {'o', "-10", 90, 64, false},      {'o', "-200", 100, 64, true},
      {'o', "99999", 100, 64, true},    {'o', "abc", 2748, 64, false},    {'o', "12x", 100, 64, true},
      {'o', "1A3", 419, 64, false},     {'o', "3e8", 1000, 64, false},    {'o', "1A3460", 100, 64, true},
      {'W', "0x10", 100, 16, false},    {'W', "0", 100, 64, true},        {'W', "70000", 100, 70000, false},
      {'W', "2147483648", 100, 64, true},
      {'W', "4294967297", 100, 64, true},
  };
  for (const auto& c : cases) {
    View view = viewOf(16909, 100);
    applyKey(view, character(c.command));
    for (const char* at = c.typed; *at != '\0'; ++at) applyKey(view, character(*at));
    EXPECT_NE(statusText(view, "rom").find(c.typed), std::string::npos);
    if (c.command == 'o') {
      EXPECT_EQ(statusText(view, "rom").rfind("Offset (hex with 0x, $, h, a leading 0 or a letter A-F): ", 0), 0u);
    }
    applyKey(view, KeyPress{Key::enter, 0});
    EXPECT_EQ(view.offset, c.offset) << c.typed;
    EXPECT_EQ(view.width, c.width) << c.typed;
    EXPECT_EQ(!view.message.empty(), c.explained) << c.typed << ": " << view.message;
  }
  View view = viewOf(16909, 100);
  applyKey(view, character('o'));
  applyKey(view, character('5'));
  applyKey(view, KeyPress{Key::escape, 0});  // Esc cancels; it does not leave
  EXPECT_EQ(view.offset, 100u);
  EXPECT_EQ(view.typing, Typing::nothing);
  EXPECT_EQ(applyKey(view, KeyPress{Key::escape, 0}), Action::leave);
}

// Offsets near 2^64 and ROMs near 2^63 bytes: every sum is checked, none
// wraps (a wrap once sent `f` at the ROM's end back to offset 0).
TEST(View, OffsetsAtTheEdgesOfSixtyFourBitsNeverWrap) {
  constexpr std::uint64_t kHuge = (std::uint64_t{1} << 63) - 1;
  const struct {
    std::uint64_t romLength;
    std::uint64_t from;
    const char* keys;  // typed one by one; \r is Enter
    std::uint64_t to;
    bool explained;
  } cases[] = {
      {kHuge, kHuge - 1, "f", kHuge - 1, false},
      {kHuge, kHuge - 2, "]", kHuge - 2, false},
      {kHuge, kHuge - 1, "G", kHuge - 64 * 32 * 2 - 1, false},
      {kHuge, 100, "o+0x7FFFFFFFFFFFFFFF\r", 100, true},
      {kHuge, 100, "o+9223372036854775706\r", kHuge - 1, false},
      {kHuge, 100, "o-0x7FFFFFFFFFFFFFFF\r", 100, true},
      {kHuge, 100, "o9223372036854775807\r", 100, true},
      {16909, 16908, "f", 16908, false},
      {16909, 16907, "o+18446744073709551615\r", 16907, true},
  };
  for (const auto& c : cases) {
    View view = viewOf(c.romLength, c.from);
    for (const char* at = c.keys; *at != '\0'; ++at) {
      applyKey(view, *at == '\r' ? KeyPress{Key::enter, 0} : character(*at));
    }
    EXPECT_EQ(view.offset, c.to) << c.keys;
    EXPECT_EQ(!view.message.empty(), c.explained) << c.keys << ": " << view.message;
  }
}

void typeKeys(View& view, const std::string& keys) {
  for (const char key : keys) applyKey(view, key == '\r' ? KeyPress{Key::enter, 0} : character(key));
}

// u and Backspace go back to where the view was before each jump, U forward
// again; moves in between are no jumps, and a new jump forgets what U had.
TEST(View, UGoesBackBeforeEachJumpAndUForwardAgain) {
  View view = viewOf(16909, 0x20D);
  typeKeys(view, "o0x1000\r");
  typeKeys(view, "Mrgba\r");
  EXPECT_EQ(view.format.name, "rgba");
  typeKeys(view, "u");
  EXPECT_EQ(view.format.name, "bgr555le");
  EXPECT_EQ(view.offset, 0x1000u);
  applyKey(view, KeyPress{Key::backspace, 0});
  EXPECT_EQ(view.offset, 0x20Du);
  typeKeys(view, "u");
  EXPECT_EQ(view.message, "No earlier place: u goes back after a jump (o W H M Z p, a click).");
  EXPECT_EQ(view.offset, 0x20Du);
  typeKeys(view, "U");
  EXPECT_EQ(view.offset, 0x1000u);
  EXPECT_EQ(view.format.name, "bgr555le");
  typeKeys(view, "U");
  EXPECT_EQ(view.format.name, "rgba");
  typeKeys(view, "U");
  EXPECT_EQ(view.message, "No later place: U goes forward again after u.");
  // Moves are no jumps; u from where they led comes back there with U.
  typeKeys(view, "jjW32\rZ1:2\r");
  EXPECT_EQ(view.width, 32);
  EXPECT_EQ(view.zoom, -2);
  typeKeys(view, "uu");
  EXPECT_EQ(view.width, 64);
  EXPECT_EQ(view.offset, 0x1000u + 2 * 256);
  typeKeys(view, "U");
  EXPECT_EQ(view.width, 32);
  EXPECT_EQ(view.zoom, 2);  // the zoom that fitted 32 wide, before Z
  // A right click that moves the view is a jump; a new jump forgets the way forward.
  KeyPress click{Key::mouse, 0};
  click.mouse = MouseReport{MouseAction::press, 2, 40, 2};
  const std::uint64_t before = view.offset;
  applyKey(view, click);
  EXPECT_NE(view.offset, before);
  typeKeys(view, "u");
  EXPECT_EQ(view.offset, before);
  typeKeys(view, "o100\r");
  typeKeys(view, "U");
  EXPECT_EQ(view.offset, 100u);
  // At least 32 places are kept.
  for (int jump = 1; jump <= 40; ++jump) typeKeys(view, "o" + std::to_string(jump * 10) + "\r");
  for (int back = 0; back < 40; ++back) typeKeys(view, "u");
  EXPECT_EQ(view.offset, 100u);
  EXPECT_TRUE(view.message.empty()) << view.message;
}

// t switches what s writes; the status line says which.
TEST(View, TSwitchesSavesBetweenBmpAndPng) {
  View view = viewOf(16909, 0x20D);
  EXPECT_NE(statusText(view, "rom").find("  BMP  ? help"), std::string::npos);
  typeKeys(view, "t");
  EXPECT_TRUE(view.png);
  typeKeys(view, "j");
  EXPECT_NE(statusText(view, "rom").find("  PNG  ? help"), std::string::npos);
  typeKeys(view, "t");
  EXPECT_FALSE(view.png);
}

// Width steps a tile and doubles; a new size takes the zoom that fits unless
// one was chosen; Z takes a typed zoom in one step; PgDn stops where End goes.
TEST(View, SizeStepsZoomsTypedAndScreensThatStopAtTheEnd) {
  View view = viewOf(1 << 20, 0, 64, 32);  // 100 x 40 cells: 64 x 32 fits at 1:1
  const struct {
    const char* keys;
    std::int32_t width;
    int zoom;
  } steps[] = {
      {"w", 72, 1},   {"e", 64, 1},   {"/", 32, 2},  {"*", 64, 1},   {"H8\r", 64, 1},  {"z", 64, 1},
      {"W8\r", 8, 2}, {"Z1:6\r", 8, -6},  {"W64\r", 64, -6},   {"z", 64, 1},   {"Z4:1\r", 64, 4},
      {"Z3\r", 64, 3}, {"Z1:1\r", 64, 1},
  };
  for (const auto& step : steps) {
    for (const char* at = step.keys; *at != '\0'; ++at) {
      applyKey(view, *at == '\r' ? KeyPress{Key::enter, 0} : character(*at));
    }
    EXPECT_EQ(view.width, step.width) << step.keys;
    EXPECT_EQ(view.zoom, step.zoom) << step.keys;
    EXPECT_TRUE(view.message.empty()) << step.keys << ": " << view.message;
  }
  applyKey(view, character('Z'));
  for (const char c : std::string("2:3")) applyKey(view, character(c));
  applyKey(view, KeyPress{Key::enter, 0});
  EXPECT_EQ(view.message, "A zoom is 1:N to see more, N:1 to see it larger: 1:35, 4:1.");
  // PgDn near the end lands where G does, and never goes back.
  View end = viewOf(16909, 12000);
  applyKey(end, KeyPress{Key::pageDown, 0});
  View byG = viewOf(16909, 12000);
  applyKey(byG, character('G'));
  EXPECT_EQ(end.offset, byG.offset);
  View pastG = viewOf(16909, 16000);
  applyKey(pastG, KeyPress{Key::pageDown, 0});
  EXPECT_EQ(pastG.offset, 16000u);
}

// The help's box is as wide as its longest line in every mode; a terminal
// too short for it says how to see the rest.
TEST(Help, ABoxThatFitsItsTextAndSaysWhatIsCut) {
  for (const GraphicsMode mode : {GraphicsMode::blocks, GraphicsMode::sixel}) {
    View view = startView(0, 0, 64, 32, 1, 100, 40, mode, 10, 20);
    view.help = true;
    const Frame tall = drawView(view, defaultDecoder(), bytesInMemory(nullptr, 0), "rom");
    const std::vector<std::string> lines = helpLines();
    std::size_t longest = 0;
    for (const std::string& line : lines) longest = std::max(longest, line.size());
    int boxRows = 0;
    for (int row = 0; row < tall.screen.rows - 1; ++row) {
      int inverse = 0;
      for (int column = 0; column < tall.screen.columns; ++column) {
        inverse += tall.screen.cells[static_cast<std::size_t>(row * tall.screen.columns + column)].inverse ? 1 : 0;
      }
      if (inverse == 0) continue;
      ++boxRows;
      EXPECT_EQ(inverse, static_cast<int>(longest) + 4) << "row " << row;
    }
    EXPECT_EQ(boxRows, static_cast<int>(lines.size()) + 2);
    view.columns = 60;
    view.rows = 8;
    const std::string shown = frameText(drawView(view, defaultDecoder(), bytesInMemory(nullptr, 0), "rom").screen);
    EXPECT_NE(shown.find("more lines in a taller terminal"), std::string::npos);
    EXPECT_NE(shown.find("Keys"), std::string::npos);
  }
}

TEST(View, TheStatusLineSaysWhereTheViewIs) {
  View view = viewOf(16909, 0x20D);
  EXPECT_EQ(statusText(view, "demo.rom"),
            "demo.rom  0x0000020D (525)  of 16909 bytes  64x32 bgr555le  zoom 1:1  BMP  ? help");
  view.zoom = -3;
  EXPECT_NE(statusText(view, "demo.rom").find("zoom 1:3"), std::string::npos);
  View big = viewOf(std::uint64_t{5} << 30, std::uint64_t{1} << 32);
  EXPECT_NE(statusText(big, "big").find("0x100000000 (4294967296)"), std::string::npos);
}

TEST(View, OtherKeysAskForActionsAndHelpTakesAnyKey) {
  View view = viewOf(16909, 0);
  EXPECT_EQ(applyKey(view, character('s')), Action::save);
  EXPECT_EQ(applyKey(view, character('S')), Action::saveShown);
  EXPECT_EQ(applyKey(view, character('?')), Action::none);
  EXPECT_TRUE(view.help);
  EXPECT_EQ(applyKey(view, character('q')), Action::none);  // closes the help only
  EXPECT_FALSE(view.help);
  EXPECT_EQ(applyKey(view, character('q')), Action::leave);
}

TEST(Screen, ColoursOnlyWhereTheyChangeAndTheBackgroundWhereNothingIs) {
  Screen screen = blankScreen(4, 1);
  putPixels(screen, 0, 0, rgb(255, 0, 0), rgb(0, 0, 255));
  putPixels(screen, 1, 0, rgb(255, 0, 0), rgb(0, 0, 255));
  putPixels(screen, 2, 0, rgb(0, 255, 0), kNoColour);
  putPixels(screen, 3, 0, kNoColour, rgb(0, 255, 0));
  EXPECT_EQ(frameText(screen),
            "\x1B[?2026h\x1B[0m\x1B[1;1H"
            "\x1B[38;2;255;0;0;48;2;0;0;255m\xE2\x96\x80\xE2\x96\x80"
            "\x1B[38;2;0;255;0;49m\xE2\x96\x80"
            "\xE2\x96\x84"
            "\x1B[0m\x1B[?2026l");
  Screen text = blankScreen(3, 1);
  putText(text, 0, 0, "abcdef", true);
  EXPECT_EQ(frameText(text), "\x1B[?2026h\x1B[0m\x1B[1;1H\x1B[7mabc\x1B[0m\x1B[?2026l");
}

// A name may hold anything; nothing in it may act on the terminal.
TEST(Screen, ControlsAndBrokenUtf8InTextShowAsQuestionMarks) {
  Screen screen = blankScreen(12, 1);
  putText(screen, 0, 0, "a\x1B]0;X\x07\xFF" "bc\xC2\x85\xC3\xA9", false);
  const std::string frame = frameText(screen);
  EXPECT_NE(frame.find("a?]0;X??bc?\xC3\xA9"), std::string::npos) << frame;
  EXPECT_EQ(frame.find('\x07'), std::string::npos);
}

TEST(PrintableText, EveryByteATerminalActsOnIsEscaped) {
  const struct {
    const char* text;
    const char* shown;
    const char* shellWord;
  } cases[] = {
      {"demo.rom", "demo.rom", "demo.rom"},
      {"my rom's.bin", "my rom's.bin", "'my rom'\\''s.bin'"},
      {"\x1B]0;PWNED\x07.rom", "\\x1B]0;PWNED\\x07.rom", "$'\\x1B]0;PWNED\\x07.rom'"},
      {"a\xFF" "bcd", "a\\xFFbcd", "$'a\\xFFbcd'"},
      {"caf\xC3\xA9", "caf\xC3\xA9", "'caf\xC3\xA9'"},
      {"\xC2\x9B" "31m", "\\xC2\\x9B31m", "$'\\xC2\\x9B31m'"},
      {"it's\n", "it's\\x0A", "$'it\\'s\\x0A'"},
      {"\xED\xA0\x80", "\\xED\\xA0\\x80", "$'\\xED\\xA0\\x80'"},  // a surrogate is no UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(printableText(c.text), c.shown) << c.text;
#ifndef _WIN32
    EXPECT_EQ(shellWord(c.text), c.shellWord) << c.text;
#endif
  }
}

TEST(CellPixels, BoundedSoThatAFrameStaysSmall) {
  const struct {
    int columns, rows, width, height, boundWidth, boundHeight;
  } cases[] = {
      {200, 60, 10, 20, 10, 20},
      {200, 60, 2000000000, 2000000000, 18, 37},  // 64 x 128 cap, then 3840 x 2160 pixels in all
      {1000, 1000, 10, 20, 2, 4},
      {80, 24, 0, -5, 1, 1},
  };
  for (const auto& c : cases) {
    int width = c.width;
    int height = c.height;
    boundCellPixels(c.columns, c.rows, width, height);
    EXPECT_EQ(width, c.boundWidth) << c.width;
    EXPECT_EQ(height, c.boundHeight) << c.height;
    EXPECT_LE(std::int64_t{c.columns} * width * c.rows * height, kLargestScreenPixels);
  }
}

TEST(Screen, AFrameAfterAnotherWritesOnlyTheRowsThatChanged) {
  Screen before = blankScreen(2, 3);
  putText(before, 0, 0, "ab", false);
  putText(before, 0, 2, "cd", true);
  Screen after = before;
  putPixels(after, 1, 1, rgb(1, 2, 3), rgb(1, 2, 3));
  EXPECT_EQ(frameText(after, &before),
            "\x1B[?2026h\x1B[0m\x1B[2;1H \x1B[38;2;1;2;3;48;2;1;2;3m\xE2\x96\x80\x1B[0m\x1B[?2026l");
  EXPECT_EQ(frameText(after, &after), "\x1B[?2026h\x1B[0m\x1B[0m\x1B[?2026l");
  const Screen smaller = blankScreen(2, 2);
  EXPECT_NE(frameText(after, &smaller).find("\x1B[3;1H"), std::string::npos);  // another size: every row
}

}  // namespace
}  // namespace velloran
