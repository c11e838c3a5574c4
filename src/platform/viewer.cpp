#include "platform/viewer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace keelpack::platform {

void OpenInViewer(const std::string& path) {
  // Everything the grandchild needs is prepared before fork, so that the child calls only
  // async-signal-safe functions.
  const char* const argv[] = {"xdg-open", path.c_str(), nullptr};
  // Two forks: the middle process ends at once, so the viewer is adopted by init and never
  // becomes a zombie of ours, and we wait only for that middle process.
  const pid_t child = ::fork();
  if (child < 0) return;
  if (child == 0) {
    ::setsid();
    if (::fork() == 0) {
      const int devNull = ::open("/dev/null", O_RDWR);
      if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
      }
      ::execvp(argv[0], const_cast<char* const*>(argv));
    }
    ::_exit(0);
  }
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace keelpack::platform
