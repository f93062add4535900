// The fixed texts the tool shows its users, each once: the dialogue's
// prompts and messages exactly as users and scripts know them, the dump's
// messages, the view's, and the command line's own problems. A new text is
// one entry here and one line in texts.cpp, whose table the compiler checks
// is complete.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velloran {

enum class Text {
  // The dialogue, in the order it shows them.
  banner,
  credit,
  romPrompt,
  prefixPrompt,
  widthPrompt,
  heightPrompt,
  countPrompt,
  dataStarts,        // a printf format: the hint's address
  startPrompt,
  // Answers that cannot be used: said, then the same question again.
  pathTooLong,
  pathHasZeroByte,
  pathEmpty,
  unterminatedQuote,
  noSuchFolder,      // followed by the folder's name
  notANumber,
  tooLarge,
  offsetTooLarge,
  negative,
  // Answers that end the run.
  inputEnded,
  givingUp,
  unableToReadAnswers,
  // The dump's transcript.
  opening,           // followed by the snapshot's name
  unableToWrite,
  incompleteFileLeft,  // followed by the file's name
  romEnded,
  romUnreadable,
  noMemory,
  fileNotFound,
  interrupted,
  // The command line's own problems.
  pngStartsAtOne,
  graphicsWithoutPictures,
  browseWithPreview,
  browseWithoutRom,
  browseOffTerminal,
  browseWithoutColours,
  browseRomCannotSeek,
  noPictures,
  fileTooLarge,
  // The live view's status line.
  startsAtOne,
  pastTheEnd,
  beforeTheStart,
  viewNotANumber,
  zoomForms,
  offsetPrompt,
  viewWidthPrompt,
  viewHeightPrompt,
  zoomPrompt,
  formatPrompt,
  palettePrompt,
  saving,
  nothingSaved,
  firstBank,
  greyRampCannotMove,
  paletteAtItsStart,
  terminalNotSet,
  noEarlierPlace,
  noLaterPlace,
  savesPng,
  savesBmp,
  // Compressed streams' problems.
  streamAt,
  streamFine,
  streamNotThatType,   // a printf format: the header's first byte
  streamNotAStream,
  streamEmpty,
  streamCopyBeforeStart,
  streamEndsInside,
  streamTreeOutside,
  noStreamAfter,
  noStreamBefore,
  streamOpensWithC,
  tileNotHeld,
  noMap,
  mapNotInStream,
  paletteForIndexed,
  noPaletteFound,
  noMorePalettes,
  bestPaletteShown,
  // Why an image's size does not fit: printf formats, %s the numbers.
  imageTooLargeIndexed,
  imageTooLargeDirect,
  notWholeTiles,
  tilesTooWide,
  // Why a text is no format: %s the part of it that is wrong.
  notAField,
  fieldWithoutBits,
  fieldNotARange,
  bitPastWord,
  fieldsOverlap,
  fieldTwice,
  fieldTooWide,
  fieldMissing,
  wordUnknown,
  notAFormat,
  unknownFormat,
  closestFormats,
  allFormatsListed,
  // Why a palette file cannot be read, after the line or byte it is at.
  atLine,
  atByte,
  paletteUtf16,
  notAPaletteFile,
  jascFirstLine,
  jascVersion,
  colourCountMissing,
  tooManyColours,
  moreThan,
  paletteEndsEarly,
  colourForm,
  colourNumbersForm,
  notAChannel,
  gimpFirstLine,
  noColours,
  riffFormType,
  riffDataShort,
  riffEndsInside,
  riffNoData,
  // Why a text is no map layout: %s the text, or the field at fault.
  mapLayoutUnknown,
  mapNotAField,
  mapFieldPastWord,
  mapFieldsOverlap,
  mapFieldLetter,
  mapFieldTwice,
  mapFlipOneBit,
  mapNoTileField,
  // Why a palette or a map cannot be taken from where it was asked for.
  theRom,
  theFile,
  cannotBeRead,         // %s: theRom or theFile
  paletteSourceNotFile,
  pastTheEndOf,         // %s the offset, whose end, its bytes
  offsetForRawPalettes,
  paletteFileTooLarge,
  paletteOffsetPastRom,
  romUnreadableThere,
  paletteShort,
  mapNeedsSeek,
  mapEndsPast,          // %s the map's bytes, whose end, its bytes
  decodedMapShort,
  mapNeedsTiles,
  bankTooWide,
  mapPicturesTooLarge,
  count              // not a text: how many there are
};

// The text, without the line ends the transcript puts around it.
const char* textOf(Text text);

// The text with each %s in it replaced by the next of `words`.
std::string textWith(Text text, std::initializer_list<std::string_view> words);

}  // namespace velloran
