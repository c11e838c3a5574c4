#pragma once

#include <atomic>

namespace keelpack::cli {

// Ctrl+C: the first press sets `cancelRequested`, so that the run stops between files and ends
// with its summary; a second press ends the process at once with kExitInterrupted. Files are
// replaced only in one atomic step, so no file is ever left half-written in place. On a
// terminal, the notices start by clearing the status line.
void InstallInterruptHandler(std::atomic<bool>& cancelRequested, bool errIsTerminal);

// Whether Ctrl+C has been pressed since the handler was installed.
bool InterruptRequested();

}  // namespace keelpack::cli
