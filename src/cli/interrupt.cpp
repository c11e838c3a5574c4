#include "cli/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "cli/command_line.h"

namespace keelpack::cli {
namespace {

// Read and written inside the signal handler: only lock-free atomics will do there.
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);

std::atomic<std::atomic<bool>*> g_cancelRequested{nullptr};
std::atomic<int> g_presses{0};
bool g_errIsTerminal = false;

constexpr std::string_view kClearLine = "\r\x1b[K";
constexpr std::string_view kFirstNotice =
    "keelpack-cli: stopping after the current file (Ctrl+C again stops at once)\n";
constexpr std::string_view kSecondNotice = "keelpack-cli: stopped\n";

// write() is one of the few calls a signal handler may make.
void Notice(std::string_view text) {
  if (g_errIsTerminal) (void)!::write(STDERR_FILENO, kClearLine.data(), kClearLine.size());
  (void)!::write(STDERR_FILENO, text.data(), text.size());
}

void OnInterrupt(int) {
  const int savedErrno = errno;
  if (g_presses.fetch_add(1) == 0) {
    if (std::atomic<bool>* cancel = g_cancelRequested.load()) cancel->store(true);
    Notice(kFirstNotice);
    errno = savedErrno;
    return;
  }
  Notice(kSecondNotice);
  ::_exit(kExitInterrupted);
}

}  // namespace

InterruptScope::InterruptScope(std::atomic<bool>& cancelRequested, bool errIsTerminal) {
  g_cancelRequested = &cancelRequested;
  g_errIsTerminal = errIsTerminal;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The core's reads and writes carry on where the signal broke in.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
}

InterruptScope::~InterruptScope() { g_cancelRequested = nullptr; }

bool InterruptRequested() { return g_presses.load() > 0; }

}  // namespace keelpack::cli
