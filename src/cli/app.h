#pragma once

namespace keelpack::cli {

// The whole command line: parses, checks every path, runs the core over them and returns the
// exit status. Writes to standard output and standard error.
int RunCommandLine(int argc, const char* const* argv);

}  // namespace keelpack::cli
