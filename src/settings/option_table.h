#pragma once

#include <array>
#include <string_view>
#include <variant>

#include "settings/option_set.h"

namespace keelpack {

// Where an option's value lives in the option set; nothing for the log level, which the front
// ends keep beside it.
using OptionField = std::variant<std::monostate, ExifChoice OptionSet::*, IccPolicy OptionSet::*,
                                 CorruptedChoice OptionSet::*, OptimizeChoice OptionSet::*,
                                 int OptionSet::*, std::string OptionSet::*>;

// A check box holds 0 (clear), 1 (ticked) or 2 (greyed); the options read any value but 0 as on.
inline constexpr int kCheckBoxHigh = 2;

// How the command line sets an option: a flag that ticks a check box, a named choice, a text;
// or in a way of its own (`kNone`: the command line does not set it through this table).
enum class CliForm { kNone, kFlag, kChoice, kText };

// One option: its settings key, its field, and how the command line sets it.
struct OptionEntry {
  std::string_view key;  // as the settings file writes it; read in any letter case
  OptionField field;
  int high = kCheckBoxHigh;  // the highest number a check box field takes
  bool windowOnly = false;   // only the window reads and writes it
  CliForm cliForm = CliForm::kNone;
  std::string_view cliName = {};  // "--dpi"
  std::string_view cliHelp = {};
  // For a choice: the names of its values in their order, '|'-separated; for a text, its kind.
  std::string_view cliValues = {};
  bool aboutFiles = false;  // it concerns files and runs: no use for one picture on a pipe
};

// Every option, in the order the settings file holds them. A new option is a row here and a
// control in the window.
inline constexpr std::array<OptionEntry, 18> kOptionTable = {{
    {.key = "Exif",
     .field = &OptionSet::exif,
     .cliForm = CliForm::kChoice,
     .cliName = "--exif",
     .cliHelp = "Exif camera data (reduce): keep keeps it all;\n"
                "reduce keeps camera settings, date and orientation,\n"
                "and removes location (GPS), thumbnail, maker notes,\n"
                "serial numbers and owner names; delete keeps only\n"
                "what shows the picture upright, and with --dpi its\n"
                "resolution",
     .cliValues = "keep|reduce|delete"},
    {.key = "ICC",
     .field = &OptionSet::icc,
     .cliForm = CliForm::kChoice,
     .cliName = "--icc",
     .cliHelp = "Colour profiles: auto drops the standard ones and\n"
                "keeps custom ones (auto)",
     .cliValues = "auto|keep|remove"},
    {.key = "DPI",
     .field = &OptionSet::dpi,
     .cliForm = CliForm::kFlag,
     .cliName = "--dpi",
     .cliHelp = "Keep the resolution (DPI) tags of the Exif data"},
    {.key = "Corrupted",
     .field = &OptionSet::corrupted,
     .cliForm = CliForm::kChoice,
     .cliName = "--corrupted",
     .cliHelp = "Damaged files (rename)",
     .cliValues = "ignore|delete|rename",
     .aboutFiles = true},
    {.key = "NonJPEGs",
     .field = &OptionSet::includeNonJpegs,
     .cliForm = CliForm::kFlag,
     .cliName = "--non-jpegs",
     .cliHelp = "Files with a JPEG name that hold other data are\n"
                "treated like damaged ones; without it they are\n"
                "renamed (--corrupted delete) or left alone",
     .aboutFiles = true},
    {.key = "Mask",
     .field = &OptionSet::mask,
     .cliForm = CliForm::kText,
     .cliName = "--mask",
     .cliHelp = "Rename mask for damaged files: the first * is the\n"
                "name, the second the extension (_corrupted_*.*)",
     .cliValues = "TEXT",
     .aboutFiles = true},
    // Set by the command line's --output.
    {.key = "DifDir", .field = &OptionSet::saveInDifferentFolder},
    {.key = "Output",
     .field = &OptionSet::output,
     .cliForm = CliForm::kText,
     .cliName = "--output",
     .cliHelp = "Write the rewritten files below DIR, mirroring\n"
                "the paths; the sources stay as they are",
     .cliValues = "DIR",
     .aboutFiles = true},
    {.key = "Readability",
     .field = &OptionSet::readability,
     .cliForm = CliForm::kFlag,
     .cliName = "--check-readability",
     .cliHelp = "Decode every new file fully before it replaces\n"
                "the old one"},
    {.key = "Slow",
     .field = &OptionSet::slow,
     .cliForm = CliForm::kFlag,
     .cliName = "--slow",
     .cliHelp = "Look at every byte of the picture data"},
    {.key = "Backups",
     .field = &OptionSet::backups,
     .cliForm = CliForm::kFlag,
     .cliName = "--backups",
     .cliHelp = "Keep a copy of each file as FILE.bak; an existing\n"
                "FILE.bak is left as it is",
     .aboutFiles = true},
    {.key = "Font", .field = &OptionSet::font, .windowOnly = true},
    {.key = "CharSet", .field = &OptionSet::charset, .windowOnly = true},
    {.key = "Log", .field = std::monostate{}},
    // Set by the command line's --optimize and --progressive.
    {.key = "Optimize", .field = &OptionSet::optimize},
    {.key = "ConfirmTree", .field = &OptionSet::confirmTree, .high = 1, .windowOnly = true},
    {.key = "LastFolder", .field = &OptionSet::lastFolder, .windowOnly = true},
    {.key = "Upright",
     .field = &OptionSet::upright,
     .cliForm = CliForm::kFlag,
     .cliName = "--upright",
     .cliHelp = "Turn each picture upright as its Exif orientation\n"
                "asks, losslessly; a picture whose edge blocks\n"
                "cannot turn keeps its data and its orientation"},
}};

}  // namespace keelpack
