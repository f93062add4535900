#include "dump/dump.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velloran {
namespace {

namespace fs = std::filesystem;

// What a caller of the dump sees: the events as short text, in order.
std::string describe(const DumpEvent& event) {
  switch (event.kind) {
    case DumpEventKind::imageRows:
      return "rows " + std::to_string(event.block.firstRow) + "+" + std::to_string(event.block.rowCount);
    case DumpEventKind::snapshotOpened:
      return "opened " + fs::path(std::string(event.name)).filename().string();
    case DumpEventKind::snapshotWritten:
      return "written " + fs::path(std::string(event.name)).filename().string();
    case DumpEventKind::snapshotFailed:
      return std::string("failed: ") + dumpMessage(event.problem) + (event.fileLeftBehind ? " (left)" : "");
    case DumpEventKind::romStopped:
      return event.rom == RomStop::ended ? "rom ended" : "rom unreadable";
    case DumpEventKind::stopped:
      return "stopped";
    case DumpEventKind::tileNotHeld:
      return "tile not held";
  }
  return "?";
}

class DumpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velloran-dump-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void makeRom(std::size_t bytes) {
    std::vector<char> rom(bytes);
    for (std::size_t i = 0; i < bytes; ++i) rom[i] = static_cast<char>(i * 7 + 3);
    std::ofstream(path("rom.bin"), std::ios::binary).write(rom.data(), static_cast<std::streamsize>(bytes));
  }

  // Runs a dump; `controls` answers the control calls in turn, then goOn.
  DumpResult dump(std::int32_t width, std::int32_t height, std::int32_t count, std::int32_t start,
                  std::vector<DumpControl> controls = {}) {
    DumpRequest request;
    request.romPath = path("rom.bin");
    request.dumpPrefix = (dir_ / "").string();
    request.width = width;
    request.height = height;
    request.imageCount = count;
    request.startAddress = start;
    std::string whyNot;
    const FileHandle rom = openForReading(request.romPath, whyNot);
    std::size_t asked = 0;
    const DumpHooks hooks{[this](const DumpEvent& event) { events_.push_back(describe(event)); },
                          [&]() { return asked < controls.size() ? controls[asked++] : DumpControl::goOn; }};
    return dumpImages(rom, request, hooks);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::vector<std::string> snapshots() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().filename() != "rom.bin") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
  std::vector<std::string> events_;
};

// A palette's source is read once, where it is given.
TEST(PaletteSource, EachFormIsReadOnce) {
  const struct {
    const char* given;
    PaletteFrom from;
    std::uint64_t offset;
    const char* path;
    bool offsetGiven;
  } cases[] = {
      {"", PaletteFrom::greyRamp, 0, "", false},
      {"512", PaletteFrom::rom, 512, "", false},
      {"0x200", PaletteFrom::rom, 512, "", false},
      {"01000", PaletteFrom::rom, 512, "", false},  // START's forms: a leading 0 is octal
      {"pal.gpl", PaletteFrom::file, 0, "pal.gpl", false},
      {"raw.bin@0x10", PaletteFrom::file, 16, "raw.bin", true},
      {"my@pal.gpl", PaletteFrom::file, 0, "my@pal.gpl", false},
      {"@5", PaletteFrom::file, 0, "@5", false},
      {"./512", PaletteFrom::file, 0, "./512", false},
  };
  for (const auto& c : cases) {
    PaletteChoice choice;
    choice.bank = 3;
    setPaletteSource(choice, c.given);
    EXPECT_EQ(choice.from, c.from) << c.given;
    EXPECT_EQ(choice.offset, c.offset) << c.given;
    EXPECT_EQ(choice.path, c.path) << c.given;
    EXPECT_EQ(choice.offsetGiven, c.offsetGiven) << c.given;
    EXPECT_EQ(choice.source, c.given);
    EXPECT_EQ(choice.bank, 3u) << c.given;
  }
  // Moved a colour on, a palette in a raw file keeps its file.
  PaletteChoice raw;
  setPaletteSource(raw, "raw.bin@0x10");
  std::string problem;
  ASSERT_TRUE(movePalette(raw, 1, problem));
  EXPECT_EQ(raw.source, "raw.bin@0x12");
  EXPECT_EQ(raw.offset, 18u);
}

TEST_F(DumpTest, ReportsEachSnapshotThenTheRomsEnd) {
  makeRom(3 + 2 * 32 + 10);  // two 4x4 images after 3 bytes, and 10 bytes of a third
  const DumpResult result = dump(4, 4, 5, 3);
  EXPECT_EQ(events_, (std::vector<std::string>{"rows 0+4", "opened snap0000.bmp", "written snap0000.bmp",
                                               "rows 0+4", "opened snap0001.bmp", "written snap0001.bmp",
                                               "rows 0+4", "opened snap0002.bmp", "written snap0002.bmp",
                                               "rom ended"}));
  EXPECT_EQ(result.end, DumpEnd::romStopped);
  EXPECT_EQ(result.rom, RomStop::ended);
  EXPECT_TRUE(result.allWritten);
  EXPECT_EQ(result.position, 3u + 2 * 32 + 10);
}

TEST_F(DumpTest, AStopBetweenBlocksRemovesTheFileAndKeepsThePositionOfItsImage) {
  makeRom(64);
  // 2048 x 2048 is 8 MiB of rows: two blocks. Asked before the image: go on;
  // between its blocks: stop.
  const DumpResult result = dump(2048, 2048, 2, 0, {DumpControl::goOn, DumpControl::stopNow});
  EXPECT_EQ(result.end, DumpEnd::stopped);
  EXPECT_EQ(result.position, 0u);
  EXPECT_EQ(events_.back(), "stopped");
  EXPECT_EQ(snapshots(), std::vector<std::string>{});
}

TEST_F(DumpTest, EndingBeforeTheNextImageKeepsTheOnesWritten) {
  makeRom(1000);
  const DumpResult result = dump(2, 2, 5, 0, {DumpControl::goOn, DumpControl::endBeforeNextImage});
  EXPECT_EQ(result.end, DumpEnd::endedByCaller);
  EXPECT_EQ(result.position, 8u);
  EXPECT_EQ(snapshots(), std::vector<std::string>{"snap0000.bmp"});
}

TEST_F(DumpTest, AFailedCreateIsReportedAndTheNextImageTriesTheSameNumber) {
  makeRom(64);
  DumpRequest request;
  request.romPath = path("rom.bin");
  request.dumpPrefix = path("gone/");  // a folder that is not there
  request.width = 2;
  request.height = 2;
  request.imageCount = 2;
  std::string whyNot;
  const FileHandle rom = openForReading(request.romPath, whyNot);
  const DumpHooks hooks{[this](const DumpEvent& event) { events_.push_back(describe(event)); },
                        [] { return DumpControl::goOn; }};
  const DumpResult result = dumpImages(rom, request, hooks);
  EXPECT_EQ(events_, (std::vector<std::string>{"rows 0+2", "opened snap0000.bmp", "failed: Unable to write to file",
                                               "rows 0+2", "opened snap0000.bmp", "failed: Unable to write to file"}));
  EXPECT_EQ(result.end, DumpEnd::completed);
  EXPECT_FALSE(result.allWritten);
  EXPECT_EQ(result.position, 16u);
}

}  // namespace
}  // namespace velloran
