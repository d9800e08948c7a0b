#include <iostream>
#include <string>
#include <vector>

#include "tools/zorvctl/Zorvctl.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  return zorvctl::RunZorvctl(words, std::cout, std::cerr);
}
