// The keys of each of the view's modes (the view, its keyboard cursor,
// typing on the status line), each row with the help line that explains it:
// what a key does and how the help says it are written once, together.
#include <string>
#include <vector>

#include "browse/view.h"
#include "browse/view_parts.h"

namespace velloran {

using namespace view_parts;

namespace {

// Whether a binding asks for Shift or Ctrl (as arrows send them), or for
// neither, or takes the key either way.
enum class Shift { any, without, with };

using Change = void (*)(View&, const KeyPress&);

// A change that needs only the view.
template <void (*change)(View&)>
void on(View& view, const KeyPress&) {
  change(view);
}

void nothing(View&, const KeyPress&) {}

struct Binding {
  Key key;
  char character;  // for a character or a pasted one; 0: any
  Shift shift;
  Change change;
  Action action;
};

// The keys of one help line, and that line: `keys` in the first column,
// `does` after it; a row without `keys` continues the line above, one
// without `does` has no line.
struct KeyRow {
  const char* keys;
  const char* does;
  Binding bindings[6];
};

constexpr Shift kAny = Shift::any;
constexpr Action kNone = Action::none;

// The keys, as less and vim have them where they have one.
constexpr KeyRow kViewKeys[] = {
    {"Shift/Ctrl+arrows", "pan an image larger than the screen",
     {{Key::right, 0, Shift::with, on<panRight>, kNone}, {Key::left, 0, Shift::with, on<panLeft>, kNone},
      {Key::down, 0, Shift::with, on<panDown>, kNone}, {Key::up, 0, Shift::with, on<panUp>, kNone}}},
    {"Right l  Left h", "next / previous pixel",
     {{Key::right, 0, kAny, on<nextPixel>, kNone}, {Key::character, 'l', kAny, on<nextPixel>, kNone},
      {Key::left, 0, kAny, on<previousPixel>, kNone}, {Key::character, 'h', kAny, on<previousPixel>, kNone}}},
    {"Down j   Up k", "next / previous image row",
     {{Key::down, 0, kAny, on<nextRow>, kNone}, {Key::character, 'j', kAny, on<nextRow>, kNone},
      {Key::up, 0, kAny, on<previousRow>, kNone}, {Key::character, 'k', kAny, on<previousRow>, kNone}}},
    {"]  [", "next / previous image",
     {{Key::character, ']', kAny, on<nextImage>, kNone}, {Key::character, '[', kAny, on<previousImage>, kNone}}},
    {"PgDn Space f  PgUp b", "next / previous screen",
     {{Key::pageDown, 0, kAny, on<nextScreen>, kNone}, {Key::character, ' ', kAny, on<nextScreen>, kNone},
      {Key::character, 'f', kAny, on<nextScreen>, kNone}, {Key::pageUp, 0, kAny, on<previousScreen>, kNone},
      {Key::character, 'b', kAny, on<previousScreen>, kNone}}},
    {".  ,   Home g  End G", "one byte on / back; the ROM's start / end",
     {{Key::character, '.', kAny, on<nextByte>, kNone}, {Key::character, ',', kAny, on<previousByte>, kNone},
      {Key::home, 0, kAny, on<romStart>, kNone}, {Key::character, 'g', kAny, on<romStart>, kNone},
      {Key::end, 0, kAny, on<romEnd>, kNone}, {Key::character, 'G', kAny, on<romEnd>, kNone}}},
    {">  <   }  {", "width, height + / - 1 (in tiles, 8)",
     {{Key::character, '>', kAny, on<wider>, kNone}, {Key::character, '<', kAny, on<narrower>, kNone},
      {Key::character, '}', kAny, on<taller>, kNone}, {Key::character, '{', kAny, on<shorter>, kNone}}},
    {"w  e   *  /", "width + / - 8 (a tile), doubled / halved",
     {{Key::character, 'w', kAny, on<tileWider>, kNone}, {Key::character, 'e', kAny, on<tileNarrower>, kNone},
      {Key::character, '*', kAny, on<doubleWidth>, kNone}, {Key::character, '/', kAny, on<halveWidth>, kNone}}},
    {"+ =  -   z   Z", "zoom in / out, fit, type 1:N N:1",
     {{Key::character, '+', kAny, on<zoomIn>, kNone}, {Key::character, '=', kAny, on<zoomIn>, kNone},
      {Key::character, '-', kAny, on<zoomOut>, kNone}, {Key::character, 'z', kAny, on<zoomToFit>, kNone},
      {Key::character, 'Z', kAny, on<typeZoom>, kNone}}},
    {"o  W  H", "type an offset, a width, a height",
     {{Key::character, 'o', kAny, on<typeOffset>, kNone}, {Key::character, 'W', kAny, on<typeWidth>, kNone},
      {Key::character, 'H', kAny, on<typeHeight>, kNone}}},
    {"", "(hex: 0x20D $20D 20Dh 020D 1A3460)", {}},
    {"m  M", "next format / type a format",
     {{Key::character, 'm', kAny, on<nextFormat>, kNone}, {Key::character, 'M', kAny, on<typeFormat>, kNone}}},
    {"p  P", "palette from an offset or a file / grey",
     {{Key::character, 'p', kAny, on<typePalette>, kNone}, {Key::character, 'P', kAny, on<greyPalette>, kNone}}},
    {"n  N", "the next best palette for the picture / back",
     {{Key::character, 'n', kAny, nothing, Action::nextPalette}, {Key::character, 'N', kAny, nothing, Action::previousPalette}}},
    {"(  )   9  0", "palette - / + 1 colour, bank - / + 1",
     {{Key::character, '(', kAny, on<paletteBack>, kNone}, {Key::character, ')', kAny, on<paletteOn>, kNone},
      {Key::character, '9', kAny, on<previousBank>, kNone}, {Key::character, '0', kAny, on<nextBank>, kNone}}},
    {"c   d  D", "decode the stream here / back; next / previous stream",
     {{Key::character, 'c', kAny, nothing, Action::toggleStream}, {Key::character, 'd', kAny, nothing, Action::nextStream},
      {Key::character, 'D', kAny, nothing, Action::previousStream}}},
    {"a", "the pictures of --map / the bare tiles", {{Key::character, 'a', kAny, nothing, Action::toggleMap}}},
    {"mouse", "point: a pixel's offset, image, x, y", {}},
    {"  double/right click", "view from its image / its pixel", {}},
    {"  wheel, Shift+wheel", "scroll rows / pan", {}},
    {"  click the strip", "a palette colour's index and value", {}},
    {"u Backspace  U", "back before the last jump / forward",
     {{Key::character, 'u', kAny, on<goBack>, kNone}, {Key::backspace, 0, kAny, on<goBack>, kNone},
      {Key::character, 'U', kAny, on<goForward>, kNone}}},
    {"s  S   t", "save COUNT / those shown; t: PNG, BMP",
     {{Key::character, 's', kAny, nothing, Action::save}, {Key::character, 'S', kAny, nothing, Action::saveShown},
      {Key::character, 't', kAny, on<switchFileType>, kNone}}},
    {"q  Esc   Ctrl-L  ?", "leave / draw again / this help",
     {{Key::character, 'q', kAny, nothing, Action::leave}, {Key::escape, 0, kAny, nothing, Action::leave},
      {Key::redraw, 0, kAny, nothing, Action::redraw}, {Key::character, '?', kAny, on<showHelp>, kNone}}},
    {"x", "keyboard cursor, whose keys are:", {{Key::character, 'x', kAny, on<showCursor>, kNone}}},
};

// With the keyboard cursor on; other keys are the view's.
constexpr KeyRow kCursorKeys[] = {
    {"  arrows hjkl  x Esc", "move it / put it away",
     {{Key::right, 0, Shift::without, on<cursorRight>, kNone}, {Key::left, 0, Shift::without, on<cursorLeft>, kNone},
      {Key::down, 0, Shift::without, on<cursorDown>, kNone}, {Key::up, 0, Shift::without, on<cursorUp>, kNone},
      {Key::escape, 0, kAny, on<hideCursor>, kNone}, {Key::character, 'x', kAny, on<hideCursor>, kNone}}},
    {nullptr, nullptr,
     {{Key::character, 'l', kAny, on<cursorRight>, kNone}, {Key::character, 'h', kAny, on<cursorLeft>, kNone},
      {Key::character, 'j', kAny, on<cursorDown>, kNone}, {Key::character, 'k', kAny, on<cursorUp>, kNone}}},
    {"  Enter  Tab", "view from its image / its pixel",
     {{Key::enter, 0, kAny, on<pickImage>, kNone}, {Key::tab, 0, kAny, on<pickPixel>, kNone}}},
};

// While a number, a format or a palette is typed on the status line.
constexpr KeyRow kTypingKeys[] = {
    {"Enter  Esc  Bksp", "what is typed: take / cancel / erase",
     {{Key::enter, 0, kAny, on<takeTyped>, kNone}, {Key::escape, 0, kAny, on<cancelTyping>, kNone},
      {Key::backspace, 0, kAny, on<eraseTyped>, kNone}}},
    {nullptr, nullptr,
     {{Key::character, 0, kAny, typeCharacter, kNone}, {Key::pasted, 0, kAny, typeCharacter, kNone}}},
};

template <std::size_t count>
const Binding* bindingFor(const KeyRow (&rows)[count], const KeyPress& press) {
  for (const KeyRow& row : rows) {
    for (const Binding& binding : row.bindings) {
      if (binding.change == nullptr || binding.key != press.key) continue;
      const bool hasCharacter = press.key == Key::character || press.key == Key::pasted;
      if (hasCharacter && binding.character != 0 && binding.character != press.character) continue;
      const bool shiftFits = binding.shift == Shift::any || (binding.shift == Shift::with) == press.shifted;
      if (!shiftFits) continue;
      return &binding;
    }
  }
  return nullptr;
}

template <std::size_t count>
void addHelpLines(const KeyRow (&rows)[count], std::vector<std::string>& lines) {
  constexpr std::size_t kKeysColumn = 21;
  for (const KeyRow& row : rows) {
    if (row.does == nullptr) continue;
    std::string line = row.keys;
    line.resize(std::max(kKeysColumn, line.size() + 1), ' ');
    lines.push_back(line + row.does);
  }
}

// Whether the key may jump: one the history keeps the place before.
bool mayJump(const View& view, const KeyPress& press) {
  if (view.help) return false;
  if (view.typing != Typing::nothing) return press.key == Key::enter;
  if (press.key == Key::mouse) return press.mouse.action == MouseAction::press;
  return view.cursor && (press.key == Key::enter || press.key == Key::tab);
}

// The key in the mode the view is in.
Action applyKeyHere(View& view, const KeyPress& press) {
  view.message.clear();
  if (view.help) {
    view.help = false;  // any key closes it, and does nothing else
    return Action::none;
  }
  if (view.typing != Typing::nothing) {
    if (const Binding* binding = bindingFor(kTypingKeys, press)) binding->change(view, press);
    return Action::none;
  }
  if (press.key == Key::mouse) return applyMouse(view, press);
  const Binding* binding = view.cursor ? bindingFor(kCursorKeys, press) : nullptr;
  // A key moves what is under a mouse pointer: it points again when it moves.
  if (binding == nullptr && !view.cursor) view.pointing = false;
  if (binding == nullptr) binding = bindingFor(kViewKeys, press);
  if (binding == nullptr) return Action::none;
  binding->change(view, press);
  clampPan(view);
  return binding->action;
}

}  // namespace

std::vector<std::string> helpLines() {
  std::vector<std::string> lines = {"Keys"};
  addHelpLines(kViewKeys, lines);
  addHelpLines(kCursorKeys, lines);
  addHelpLines(kTypingKeys, lines);
  lines.insert(lines.end(), {"", "Any key closes this help."});
  return lines;
}

std::string keyListText() {
  const std::vector<std::string> lines = helpLines();
  std::string text;
  // Between the title and the blank line before "Any key closes this help."
  for (std::size_t line = 1; line + 2 < lines.size(); ++line) text += lines[line] + "\n";
  return text;
}

Action applyKey(View& view, const KeyPress& press) {
  if (!mayJump(view, press)) return applyKeyHere(view, press);
  const Place before = placeOf(view);
  const Action action = applyKeyHere(view, press);
  rememberJump(view, before);
  return action;
}

}  // namespace velloran
