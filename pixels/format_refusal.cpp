// Why a text is no format, in words: the refusal's text and part put into
// the words texts/ keeps, and for a name, the known names nearest it.
#include <algorithm>
#include <string>
#include <vector>

#include "pixels/pixel_format.h"
#include "texts/texts.h"

namespace velloran {

namespace {

// How many single-character edits make one text the other.
std::size_t editDistance(const std::string& from, const std::string& to) {
  std::vector<std::size_t> row(to.size() + 1);
  for (std::size_t j = 0; j <= to.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= from.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= to.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (from[i - 1] == to[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[to.size()];
}

// The known names nearest `text`, at most three.
std::string closestNames(const std::string& text) {
  const std::vector<const char*> known = formatNames();
  std::size_t best = std::string::npos;
  for (const char* name : known) best = std::min(best, editDistance(text, name));
  std::string names;
  int count = 0;
  for (const char* name : known) {
    if (editDistance(text, name) == best && count++ < 3) names += (names.empty() ? "" : ", ") + std::string(name);
  }
  return names;
}

// The problems that name the part at fault, and their words.
struct PartText {
  FormatProblem problem;
  Text text;
};

constexpr PartText kPartTexts[] = {
    {FormatProblem::notAField, Text::notAField},         {FormatProblem::fieldWithoutBits, Text::fieldWithoutBits},
    {FormatProblem::fieldNotARange, Text::fieldNotARange}, {FormatProblem::fieldsOverlap, Text::fieldsOverlap},
    {FormatProblem::fieldTwice, Text::fieldTwice},       {FormatProblem::fieldTooWide, Text::fieldTooWide},
    {FormatProblem::fieldMissing, Text::fieldMissing},   {FormatProblem::wordUnknown, Text::wordUnknown},
};

}  // namespace

std::string formatRefusalText(const FormatRefusal& refusal) {
  if (refusal.problem == FormatProblem::unknownName) {
    // A text far longer than any name is near none of them.
    constexpr std::size_t kLongestNear = 32;
    return textWith(Text::unknownFormat, {refusal.text}) +
           (refusal.text.size() <= kLongestNear ? textWith(Text::closestFormats, {closestNames(refusal.text)})
                                                : textOf(Text::allFormatsListed));
  }
  const std::string noFormat = textWith(Text::notAFormat, {refusal.text});
  if (refusal.problem == FormatProblem::bitPastWord) {
    return noFormat + textWith(Text::bitPastWord, {std::to_string(refusal.bit), std::to_string(refusal.wordBits)});
  }
  for (const PartText& part : kPartTexts) {
    if (part.problem == refusal.problem) return noFormat + textWith(part.text, {refusal.part});
  }
  return "";
}

}  // namespace velloran
