#include "driver/command_line.h"

#include "console/console_output.h"
#include "driver/command_options.h"
#include "driver/questions.h"
#include "platform/platform.h"
#include "texts/texts.h"

namespace velloran {

namespace {

// The palette's options fit the formats: raw colours are direct colour, and a
// palette is for indexed pixels. Empty when they do.
std::string paletteProblem(const CommandLine& command, const OptionsGiven& given) {
  if (isIndexed(command.palette.format)) return "--palette-format: a palette's colours are in a direct-colour format, not " + command.palette.format.name;
  // The live view may switch to an indexed format: it keeps the palette for then.
  if ((given.palette || given.bank || given.paletteFormat) && !isIndexed(command.format) && !command.browse) {
    return "--palette, --palette-format and --palette-bank are for indexed formats (i1 ... t8), not " + command.format.name;
  }
  if (given.palette && command.palette.source.empty()) return "--palette: the palette's source is empty";
  return "";
}

// The stream options fit together: the scan takes the ROM alone, and a
// decoded offset is into a stream. Empty when they do.
std::string streamProblem(const CommandLine& command, const OptionsGiven& given) {
  if (given.scan && (command.browse || command.preview || command.compression != Compression::none)) {
    return "--scan lists the streams of a ROM: not with --browse, --preview or --compression";
  }
  if (given.scan && command.answers.size() != 1) return "--scan takes one argument, the ROM";
  if (given.scanFilter && !given.scan) return "--pointer-base and --min-size are for --scan";
  if (given.decodedOffset && command.compression == Compression::none) {
    return "--decoded-offset is for a stream: give --compression too";
  }
  return "";
}

// The map's options fit together and with the others. Empty when they do.
std::string mapProblem(const CommandLine& command, const OptionsGiven& given) {
  if (given.mapOption && !command.map.given) return "--map-format, --map-compression and --map-order are for --map";
  if (!command.map.given) return "";
  if (command.map.source.empty()) return "--map: the map's source is empty";
  if (!isTiled(command.format)) return "--map: " + textWith(Text::mapNeedsTiles, {command.format.name});
  if (command.compression != Compression::none) return "--map reads its tiles as the ROM stores them: not with --compression";
  if (given.bank && mapNeedsByteIndices(command.map.format, command.format)) {
    return "--palette-bank: the map's entries choose the banks";
  }
  return "";
}

// "-5" is a negative number, which the answer's own check refuses by name.
bool isOption(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '-' && !(argument[1] >= '0' && argument[1] <= '9');
}

// The command line refused, saying why.
CommandLine refusedFor(CommandLine command, std::string problem) {
  command.action = CommandAction::usageError;
  command.problem = std::move(problem);
  return command;
}

// The options that do one thing instead of a dump.
struct ActionOption {
  const char* written;
  CommandAction action;
};

constexpr ActionOption kActionOptions[] = {{"-h", CommandAction::showHelp},
                                           {"--help", CommandAction::showHelp},
                                           {"--version", CommandAction::showVersion},
                                           {"--list-formats", CommandAction::listFormats},
                                           {"--list-keys", CommandAction::listKeys}};

// The options' checks that take several of them together, in the order they are made.
CommandLine checked(CommandLine command, const OptionsGiven& given) {
  const std::string map = mapProblem(command, given);
  if (!map.empty()) return refusedFor(command, map);
  const std::string streams = streamProblem(command, given);
  if (!streams.empty()) return refusedFor(command, streams);
  if (given.scan) {
    command.action = CommandAction::scanStreams;
    return command;
  }
  if (given.scanPalettes && (command.browse || command.preview || command.answers.size() != kAnswerCount)) {
    return refusedFor(command, "--scan=palettes takes the six answers of the picture: ROM PREFIX WIDTH HEIGHT COUNT START");
  }
  if (given.scanPalettes) {
    command.action = CommandAction::scanPalettes;
    return command;
  }
  const std::string palette = paletteProblem(command, given);
  if (!palette.empty()) return refusedFor(command, palette);
  if (given.graphics && !command.browse && !command.preview) return refusedFor(command, textOf(Text::graphicsWithoutPictures));
  if (command.browse && command.preview) return refusedFor(command, textOf(Text::browseWithPreview));
  if (command.browse && command.answers.empty()) return refusedFor(command, textOf(Text::browseWithoutRom));
  return command;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine command;
  OptionsGiven given;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded) {
      for (const ActionOption& option : kActionOptions) {
        if (argument != option.written) continue;
        command.action = option.action;
        return command;
      }
      std::string value;
      if (const ReadOption read = optionReader(argument, value)) {
        const std::string problem = read(value, command, given);
        if (!problem.empty()) return refusedFor(command, problem);
        continue;
      }
      if (isOption(argument)) return refusedFor(command, "unknown option '" + argument + "'");
    }
    if (command.answers.size() == kAnswerCount) {
      return refusedFor(command, "too many arguments: '" + argument + "' after the six answers");
    }
    command.answers.push_back(argument);
  }
  return checked(command, given);
}

void reportUsageError(const std::string& problem) {
  sayError(printableText(problem) + "\nTry 'velloran --help' for more information.");
}

}  // namespace velloran
