#pragma once

#include <atomic>

namespace keelpack::cli {

// Ctrl+C while the scope lives: the first press sets `cancelRequested`, so that the run stops
// between files and ends with its summary; a second press ends the process at once with
// kExitInterrupted. Files are replaced only in one atomic step, so no file is ever left
// half-written in place. On a terminal, the notices start by clearing the status line.
class InterruptScope {
 public:
  InterruptScope(std::atomic<bool>& cancelRequested, bool errIsTerminal);
  // The handler stays, but no longer touches the flag, which may not outlive the scope.
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
};

// Whether Ctrl+C has been pressed since the handler was installed.
bool InterruptRequested();

}  // namespace keelpack::cli
