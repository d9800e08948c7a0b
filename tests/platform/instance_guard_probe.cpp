// A program for the instance-guard tests: takes the guard named by its argument and ends
// with 1 when another holder was already there, else 0.

#include "platform/instance_guard.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const platform::InstanceGuard guard(argv[1]);
  return guard.AlreadyRunning() ? 1 : 0;
}
