#pragma once

#include "cli/command_line.h"

namespace keelpack::cli {

// The PATH "-": reads one JPEG from standard input and writes its rewrite to standard output,
// the same bytes an in-place run would give the file. A picture that is damaged or not JPEG
// data, or that cannot be written whole, writes nothing on standard output and says why on
// standard error. Log lines go to standard error (-v all of them, -q none). Holds the picture
// in memory, and of its rewrite only what it does not share with the picture. Gives the exit
// status.
int RunFilter(const CliRequest& request);

}  // namespace keelpack::cli
