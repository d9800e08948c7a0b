// A program for the instance-guard tests: takes the guard named by its first argument, in the
// lock folder its second argument names (the machine's own without one), and ends with 1 when
// another holder was already there, else 0.

#include "platform/instance_guard.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const platform::InstanceGuard guard(argv[1], argc > 2 ? argv[2] : platform::MachineLockFolder());
  return guard.AlreadyRunning() ? 1 : 0;
}
