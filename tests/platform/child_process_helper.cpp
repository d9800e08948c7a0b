// A program for the child-process tests: prints its arguments on standard output, one a line,
// "to standard error" on standard error, and ends with the exit code its first argument names.

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) std::printf("%s\n", argv[i]);
  std::fprintf(stderr, "to standard error\n");
  return argc > 1 ? std::atoi(argv[1]) : 0;
}
