#include "dump/answers.h"

#include <limits>

#include "snapshot/image_size.h"
#include "snapshot/snapshot_encoder.h"

namespace velloran {

namespace {

constexpr std::uint64_t kLargestSize = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t kLargestOffset = std::numeric_limits<std::int64_t>::max();

constexpr AnswerRow kAnswers[] = {
    {kRomPath, "ROM", "the ROM file to read images from", Text::romPrompt, 0, Text::tooLarge, &DumpRequest::romPath,
     nullptr},
    {kDumpPrefix, "PREFIX",
     "put in front of every snapshot name, PREFIX + snapNNNN.bmp, with\n"
     "           the first free number; a folder needs its trailing '/'",
     Text::prefixPrompt, 0, Text::tooLarge, &DumpRequest::dumpPrefix, nullptr},
    {kWidth, "WIDTH", "the image width in pixels", Text::widthPrompt, kLargestSize, Text::tooLarge, nullptr,
     &DumpRequest::width},
    {kHeight, "HEIGHT", "the image height in pixels", Text::heightPrompt, kLargestSize, Text::tooLarge, nullptr,
     &DumpRequest::height},
    {kImageCount, "COUNT", "how many consecutive images to dump", Text::countPrompt, kLargestSize, Text::tooLarge,
     nullptr, &DumpRequest::imageCount},
    {kStartAddress, "START", "the byte offset of the first image in the ROM", Text::startPrompt, kLargestOffset,
     Text::offsetTooLarge, nullptr, nullptr},
};

constexpr bool inOrder() {
  for (std::size_t index = 0; index < kAnswerCount; ++index) {
    if (kAnswers[index].answer != index) return false;
  }
  return true;
}
static_assert(sizeof kAnswers / sizeof kAnswers[0] == kAnswerCount && inOrder(),
              "a row for every answer, in the order they are asked");

}  // namespace

const AnswerRow& answerRow(std::size_t answer) {
  return kAnswers[answer];
}

std::string numberProblem(std::size_t answer, bool negative, std::uint64_t value, const DumpRequest& request) {
  if (negative && value > 0) return textOf(Text::negative);
  if (!encoderFor(request.png).holdsEmptyImage && value == 0 && (answer == kWidth || answer == kHeight)) {
    return textOf(Text::pngStartsAtOne);
  }
  // Tiles need whole tiles across: refused at the width, where asking again
  // can help, not at the height.
  ImageSize size = ImageSize::fits;
  if (answer == kWidth) size = imageSize(static_cast<std::int64_t>(value), 0, request.format);
  if (answer == kHeight) size = imageSize(request.width, static_cast<std::int64_t>(value), request.format);
  return size == ImageSize::fits ? "" : imageSizeText(size, request.format);
}

}  // namespace velloran
