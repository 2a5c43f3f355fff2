#include "engine/PowerOff.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace kelo::engine {

int SystemPowerOff::powerOff() {
  // posix_spawnp rather than system(): no shell, no quoting.
  char arg0[] = "systemctl";
  char arg1[] = "poweroff";
  char* argv[] = {arg0, arg1, nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

}  // namespace kelo::engine
